// One download run and the decisions around it, free of any platform API.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "download/file.h"
#include "download/http.h"
#include "download/integrity.h"
#include "download/run_window.h"
#include "download/proxy_config.h"
#include "download/signature.h"

namespace cveltrix {

// "error N": how a failure's reason names the platform's error code.
std::wstring ErrorText(std::uint32_t code);

// Probe results besides a length (0 = none, or the URL cannot be opened).
inline constexpr std::int64_t kProbeProxyUnreachable = -1;
inline constexpr std::int64_t kProbeProxyAuthFailed = -2;

// The probes ask with a HEAD, and with a GET without a range only when the
// HEAD's answer gives no usable length.

// Length of the file through the system's connection settings; 0 when the
// URL cannot be opened, the answer is not a success or has no usable length.
// `why`, when given, receives the reason of a failure.
std::int64_t ProbeDirect(HttpClient& http, const std::wstring& url, std::wstring* why = nullptr);

// Length through the named proxy, answering a 407 with the credentials;
// -1 when the URL cannot be opened through the proxy, -2 when the proxy
// refuses the credentials (407 or 401 after they were sent, or a user name
// the client will not take).
std::int64_t ProbeThroughProxy(HttpClient& http, const std::wstring& url, const std::wstring& proxyText,
                               const std::wstring& userName, const std::wstring& password,
                               std::wstring* why = nullptr);

// Everything a run works with. `settings` is the run's own copy of the proxy
// settings; `chosenFolder` is the process-wide last folder picked. With a
// `pin`, a complete file is saved only when `hasher` finds that digest; with
// a `signer`, only when `verifier` finds a trusted signature by that name.
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
};

// Fetches the rest of the file into the temp file, hands a complete one to
// the save step and always ends with the window idle. Returns 0.
int DownloadWorker(WorkerEnvironment& env);

// The Start button's checks before a worker is launched: the temp file can
// be created, and a non-empty one is resumed or discarded on the user's
// answer. True when the worker should start.
bool PrepareStart(MessageBoxes& window, FileSystem& files, const std::wstring& tempPath);

}  // namespace cveltrix
