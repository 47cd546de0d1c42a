// Asking the server for the file: every request of a run, in either way to
// the server, and the probes that learn the file's length before a transfer.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "core/failure.h"
#include "core/http.h"

namespace cveltrix {

inline constexpr std::uint32_t kStatusOk = 200;
inline constexpr std::uint32_t kStatusPartial = 206;

// The answer's status, and the error of the request's last failed call.
std::wstring StatusText(HttpRequest& request);
bool HasStatus(HttpRequest& request, std::uint32_t code);

enum class Verb { Head, Get };

// "VERB url: ", how a reason names the request; the URL without its query.
std::wstring Asked(Verb verb, const std::wstring& url);

struct Answer {
    std::unique_ptr<HttpRequest> request;  // nothing: no answer at all
    bool loginRefused = false;
    // The request is the redirect answer that would have left https.
    bool downgradeRefused = false;
    // "VERB url: " and what went wrong; a plain answer has only the first
    // part, and whoever finds it wanting adds the status.
    std::wstring why;
    // Where a plain answer came from, after the redirects followed.
    std::wstring url = {};
};

Answer NoAnswer(std::wstring why);

// Sends `verb` for `url` with `headers`: the proxy's 407 answered with the
// login (when there is one), redirects followed with the same verb and
// headers, at most ten hops, except one from https to plain http, where
// anyone on the path could swap the file.
Answer Ask(HttpSession& session, Verb verb, std::wstring url, const std::wstring& headers, const ProxyLogin* login);

// What a probe learned: the file's length, or why there is none.
struct ProbeResult {
    enum class Kind {
        Length,
        // The answer is no success, gives no usable length, or never came.
        NoLength,
        // Only through a proxy: it cannot be reached, or refuses the login.
        ProxyUnreachable,
        ProxyLoginRefused,
    };
    // Told by what went wrong, if anything did.
    Kind kind() const;

    std::uint64_t length = 0;  // Kind::Length only, and never 0
    std::wstring why;          // every other kind: the reason
    std::optional<FailureKind> failure = std::nullopt;  // every other kind: what went wrong
    // An answer that says "later" may say how much later, in seconds.
    std::optional<std::uint64_t> retryAfter = std::nullopt;
    // Kind::Length only: the answer's own validators, which name the
    // version of the file it measured.
    std::optional<std::wstring> etag = std::nullopt;
    std::optional<std::wstring> lastModified = std::nullopt;
};

// The Retry-After of an answer, in seconds; nothing when it has none that reads.
std::optional<std::uint64_t> RetryAfterOf(HttpRequest& request);

// The probes ask with a HEAD, and with a GET without a range only when the
// HEAD's answer gives no usable length.
ProbeResult ProbeDirect(HttpClient& http, const std::wstring& url);
// Through the named proxy, answering a 407 with the login. The login is
// refused by a 407 or 401 after it was sent, or by a client that will not
// take the user name.
ProbeResult ProbeThroughProxy(HttpClient& http, const std::wstring& url, const std::wstring& proxyText,
                              const std::wstring& userName, const std::wstring& password);

}  // namespace cveltrix
