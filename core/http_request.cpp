#include "core/http_request.h"

#include <limits>

#include "core/error_text.h"
#include "core/http_headers.h"
#include "core/url.h"

namespace cveltrix {

std::wstring StatusText(HttpRequest& request) {
    const auto status = request.StatusCode();
    const std::uint32_t error = request.LastError();
    return (status ? L"status " + std::to_wstring(*status) : std::wstring(L"status unreadable")) +
           (error ? L", " + ErrorText(error) : L"");
}

bool HasStatus(HttpRequest& request, std::uint32_t code) {
    const auto status = request.StatusCode();
    return status && *status == code;
}

std::wstring Asked(Verb verb, const std::wstring& url) {
    return (verb == Verb::Head ? L"HEAD " : L"GET ") + WithoutQuery(url) + L": ";
}

Answer NoAnswer(std::wstring why) { return {nullptr, false, false, std::move(why)}; }

std::optional<std::uint64_t> RetryAfterOf(HttpRequest& request) {
    const auto text = request.RetryAfterText();
    return text ? ParseRetryAfter(*text, request.DateText()) : std::nullopt;
}

namespace {

constexpr std::uint32_t kStatusUnauthorized = 401;
constexpr std::uint32_t kStatusProxyAuthRequired = 407;

enum class Challenge { None, Answered, UserNameRefused, NoAnswer };

// Answers a 407 with the credentials. The resend is what carries them, so a
// request is sent again only then; an empty user name sends nothing more.
Challenge AnswerProxyChallenge(HttpRequest& request, const std::wstring& userName, const std::wstring& password) {
    if (!HasStatus(request, kStatusProxyAuthRequired)) return Challenge::None;
    if (!request.SetProxyUserName(userName)) return Challenge::UserNameRefused;
    if (!userName.empty() && request.SetProxyPassword(password) && !request.Resend()) return Challenge::NoAnswer;
    return Challenge::Answered;
}

// After the credentials went out, some proxies answer wrong ones with 401,
// others with another 407.
bool CredentialsRefused(HttpRequest& request, Challenge challenge) {
    return challenge == Challenge::UserNameRefused ||
           (challenge == Challenge::Answered &&
            (HasStatus(request, kStatusProxyAuthRequired) || HasStatus(request, kStatusUnauthorized)));
}

// The client is told not to follow redirects, so that a loop or an endless
// chain ends here: after this many hops the last answer is final.
constexpr int kMaxRedirects = 10;

// Where a redirect answer sends the request next, when it is one.
std::optional<std::wstring> RedirectTarget(HttpRequest& request, const std::wstring& url) {
    const auto status = request.StatusCode();
    if (!status || !(*status == 301 || *status == 302 || *status == 303 || *status == 307 || *status == 308)) {
        return std::nullopt;
    }
    const auto location = request.LocationText();
    return location ? ResolveLocation(url, *location) : std::nullopt;
}

}  // namespace

Answer Ask(HttpSession& session, Verb verb, std::wstring url, const std::wstring& headers, const ProxyLogin* login) {
    for (int hop = 0;; ++hop) {
        auto request =
            verb == Verb::Head ? session.OpenHead(WithoutFragment(url)) : session.OpenUrl(WithoutFragment(url), headers);
        if (!request) return NoAnswer(Asked(verb, url) + L"no answer, " + ErrorText(session.LastError()));
        if (login) {
            const Challenge challenge = AnswerProxyChallenge(*request, login->userName, login->password);
            if (challenge == Challenge::NoAnswer) {
                return NoAnswer(Asked(verb, url) + L"no answer with the login, " + ErrorText(request->LastError()));
            }
            if (CredentialsRefused(*request, challenge)) {
                std::wstring why = Asked(verb, url) + L"login refused, " +
                                   (challenge == Challenge::UserNameRefused ? ErrorText(request->LastError())
                                                                            : StatusText(*request));
                return {std::move(request), true, false, std::move(why)};
            }
        }
        auto next = hop < kMaxRedirects ? RedirectTarget(*request, url) : std::nullopt;
        if (!next) return {std::move(request), false, false, Asked(verb, url), url};
        if (IsDowngrade(url, *next)) {
            return {std::move(request), false, true,
                    Asked(verb, url) + L"redirect to " + WithoutQuery(*next) + L" refused"};
        }
        url = std::move(*next);
    }
}

ProbeResult::Kind ProbeResult::kind() const {
    if (!failure) return Kind::Length;
    if (*failure == FailureKind::ProxyUnreachable) return Kind::ProxyUnreachable;
    if (*failure == FailureKind::ProxyLoginRefused) return Kind::ProxyLoginRefused;
    return Kind::NoLength;
}

namespace {

ProbeResult Failed(FailureKind failure, std::wstring why) {
    return {.length = 0, .why = std::move(why), .failure = failure};
}

// One request's part in a probe.
struct Probed {
    ProbeResult result;
    // An answer came, without a usable length: a GET may still find one.
    bool lengthless = false;
};

// The length of a successful answer, or why it gives none. A length past
// the signed 64-bit range is no file anybody serves.
// A status that asks to come back later may say how much later.
Probed Measured(HttpRequest& request, const std::wstring& asked) {
    const auto status = request.StatusCode();
    const auto text = status == kStatusOk ? request.ContentLengthText() : std::nullopt;
    const auto length = text ? ParseContentLength(*text) : std::nullopt;
    if (!length || *length == 0 || *length > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        const FailureKind failure = !status                ? FailureKind::ServerSaysNo
                                    : *status == kStatusOk ? FailureKind::NoUsableLength
                                                           : KindOfStatus(*status);
        ProbeResult result = Failed(failure, asked + StatusText(request) + L", no usable length");
        if (failure == FailureKind::ServerSaysLater) result.retryAfter = RetryAfterOf(request);
        return {std::move(result), true};
    }
    return {{.length = *length,
             .why = L"",
             .etag = request.ETagText(),
             .lastModified = request.LastModifiedText()}};
}

// A HEAD learns the length without the body crossing the wire. Servers and
// signed URLs that allow only GET answer it with 403, 405 or 501, and some
// leave the length out: a GET without a range is asked then. Any other
// result (a length, a request that got no answer at all, a refused login or
// downgrade) is final.
template <class Probe>
ProbeResult HeadThenGet(Probe probe) {
    Probed head = probe(Verb::Head);
    return head.lengthless ? probe(Verb::Get).result : std::move(head.result);
}

}  // namespace

ProbeResult ProbeDirect(HttpClient& http, const std::wstring& url) {
    const auto session = http.OpenPreconfigured();
    if (!session) {
        return Failed(FailureKind::NoAnswer, L"no internet session, " + ErrorText(http.LastError()));
    }
    return HeadThenGet([&](Verb verb) -> Probed {
        const auto answer = Ask(*session, verb, url, L"", nullptr);
        if (!answer.request) return {Failed(FailureKind::NoAnswer, answer.why)};
        if (answer.downgradeRefused) return {Failed(FailureKind::RedirectRefused, answer.why)};
        return Measured(*answer.request, answer.why);
    });
}

ProbeResult ProbeThroughProxy(HttpClient& http, const std::wstring& url, const std::wstring& proxyText,
                              const std::wstring& userName, const std::wstring& password) {
    const ProxyLogin login{userName, password};
    const auto session = http.OpenThroughProxy(proxyText, login);
    if (!session) {
        return Failed(FailureKind::ProxyUnreachable,
                      L"no session through the proxy " + proxyText + L", " + ErrorText(http.LastError()));
    }
    return HeadThenGet([&](Verb verb) -> Probed {
        const auto answer = Ask(*session, verb, url, L"", &login);
        if (!answer.request) {
            return {Failed(FailureKind::ProxyUnreachable, answer.why)};
        }
        if (answer.loginRefused) {
            return {Failed(FailureKind::ProxyLoginRefused, answer.why)};
        }
        if (answer.downgradeRefused) return {Failed(FailureKind::RedirectRefused, answer.why)};
        return Measured(*answer.request, answer.why);
    });
}

}  // namespace cveltrix
