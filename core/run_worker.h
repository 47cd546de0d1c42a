// One download run and the decisions around it, free of any platform API.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "core/file.h"
#include "core/http.h"
#include "core/integrity.h"
#include "core/proxy_config.h"
#include "core/run_pace.h"
#include "core/run_window.h"
#include "core/signature.h"

namespace cveltrix {

// Everything a run works with. `settings` is the run's own copy of the proxy
// settings; `chosenFolder` is the process-wide last folder picked. With a
// `pin`, a complete file is saved only when `hasher` finds that digest; with
// a `signer`, only when `verifier` finds a trusted signature by that name.
// With `retries` above 0, a failure that another try may mend is tried
// again after a wait of `pause`'s, that many times in a row without a new
// byte; the wait's line is in `language`. `wakefulness` keeps the machine
// awake while the run works, and `trace` takes the run's phases, one line
// each, for a debugger.
struct WorkerEnvironment {
    RunWindow& window;
    HttpClient& http;
    FileSystem& files;
    // Raised by the window thread when the user cancels.
    const std::atomic<bool>& cancelRequested;
    std::wstring url;
    std::wstring tempPath;
    std::wstring& chosenFolder;
    ProxyConfig settings;
    FileHasher* hasher = nullptr;
    std::optional<Sha256Digest> pin = std::nullopt;
    SignatureVerifier* verifier = nullptr;
    std::wstring signer = {};
    Pause* pause = nullptr;
    Wakefulness* wakefulness = nullptr;
    int retries = 0;
    Language language = Language::English;
    std::function<void(const std::wstring&)> trace = {};
};

// Fetches the rest of the file into the temp file, hands a complete one to
// the save step and always ends with the window idle. Returns 0.
int DownloadWorker(WorkerEnvironment& env);

}  // namespace cveltrix
