// The HTTP client as the download logic sees it. The Windows build backs it
// with WinINet; tests give it fakes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace cveltrix {

// One request (a GET, or a HEAD) whose response headers have arrived.
// Closing it (destruction) releases the request handle.
class HttpRequest {
public:
    virtual ~HttpRequest() = default;

    // Sends the same request again on this handle, with any credentials set
    // since: the answer to a 407. False when no answer arrived.
    virtual bool Resend() = 0;
    // The response's status code; nothing when it cannot be read.
    virtual std::optional<std::uint32_t> StatusCode() = 0;
    // Raw header values; nothing when the response lacks the header.
    virtual std::optional<std::wstring> ContentLengthText() = 0;
    virtual std::optional<std::wstring> ContentRangeText() = 0;
    virtual std::optional<std::wstring> ETagText() = 0;
    virtual std::optional<std::wstring> LastModifiedText() = 0;
    virtual std::optional<std::wstring> DateText() = 0;
    // How long the server asks to be left alone (a 503's, a 429's).
    virtual std::optional<std::wstring> RetryAfterText() = 0;
    // Where a redirect points, as the server wrote it.
    virtual std::optional<std::wstring> LocationText() = 0;
    // Proxy credentials for the next Resend; false when the client refuses.
    virtual bool SetProxyUserName(const std::wstring& userName) = 0;
    virtual bool SetProxyPassword(const std::wstring& password) = 0;
    // Bytes readable without blocking (waits for some if none are there yet);
    // 0 when the query fails.
    virtual std::uint32_t QueryAvailable() = 0;
    // Fills at most buffer.size() bytes; `read` is 0 at the end of the body
    // (at once for a HEAD) and when the call fails.
    virtual bool Read(std::span<std::byte> buffer, std::uint32_t& read) = 0;
    // The platform's error code of this request's last failed call; 0 when
    // none failed.
    virtual std::uint32_t LastError() const = 0;
};

// The error code of a request that heard nothing within the client's
// silence limit (WinINet's ERROR_INTERNET_TIMEOUT).
inline constexpr std::uint32_t kErrorSilence = 12002;

// An internet session: either the system's own connection settings or a
// named proxy. Must outlive the requests opened in it.
class HttpSession {
public:
    virtual ~HttpSession() = default;
    // Sends a GET for `url` bypassing every cache, with `extraHeaders`
    // (possibly empty); nothing when it cannot be sent or answered, or when
    // nothing arrived within the client's silence limit. Redirects are not
    // followed: their answer is returned.
    virtual std::unique_ptr<HttpRequest> OpenUrl(const std::wstring& url, const std::wstring& extraHeaders) = 0;
    // Sends a HEAD for `url` bypassing every cache: the GET's status and
    // headers without its body. Nothing when it cannot be sent or answered.
    virtual std::unique_ptr<HttpRequest> OpenHead(const std::wstring& url) = 0;
    // The platform's error code of the last request that could not be
    // opened; 0 when none failed.
    virtual std::uint32_t LastError() const = 0;
};

// The user's login at the proxy; an empty user name means none. Refers to
// the run's own copy of the settings, which outlives every session.
struct ProxyLogin {
    const std::wstring& userName;
    const std::wstring& password;
};

class HttpClient {
public:
    virtual ~HttpClient() = default;
    // Session with the system's connection settings.
    virtual std::unique_ptr<HttpSession> OpenPreconfigured() = 0;
    // Session through the proxy "address:port" in `proxyText`. A client may
    // answer the proxy's challenge with `login` by itself; a 407 that still
    // reaches the caller then means the proxy refused it.
    virtual std::unique_ptr<HttpSession> OpenThroughProxy(const std::wstring& proxyText, const ProxyLogin& login) = 0;
    // The platform's error code of the last session that could not be
    // opened; 0 when none failed.
    virtual std::uint32_t LastError() const = 0;
};

}  // namespace cveltrix
