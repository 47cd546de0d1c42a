#include "platform/http_wininet.h"

#include "platform/last_error_win.h"
#include "platform/unique_handle_win.h"

namespace cveltrix::win {
namespace {

// Always from the server, and never into the cache: without NO_CACHE_WRITE
// WinINet keeps a second full copy of the download in its cache folder.
constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;

bool SetTextOption(HINTERNET handle, DWORD option, const std::wstring& value) {
    // The whole text, whatever its length; WinINet copies it.
    return ::InternetSetOptionW(handle, option, const_cast<wchar_t*>(value.c_str()), static_cast<DWORD>(value.size()));
}

class WinInetRequest final : public HttpRequest {
public:
    // `bodyless`: the request stands for a HEAD, whatever it sent.
    // `loginOffered`: the client answered the proxy's challenge with the
    // login by itself.
    WinInetRequest(UniqueInternet handle, UniqueInternet connection, bool bodyless, bool loginOffered)
        : connection_(std::move(connection)), handle_(std::move(handle)), bodyless_(bodyless),
          loginOffered_(loginOffered) {}

    // When the client answered the challenge itself, a 407 in hand is the
    // proxy's refusal of that very login: sending it again would change
    // nothing (and under Wine goes to the proxy as a bare GET), so the 407
    // stands as the answer.
    bool Resend() override {
        return loginOffered_ || ::HttpSendRequestW(handle_.get(), nullptr, 0, nullptr, 0) || error_.Failed(false);
    }

    std::optional<std::uint32_t> StatusCode() override {
        DWORD code = 0;
        DWORD size = sizeof(code);
        if (!::HttpQueryInfoW(handle_.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &code, &size, nullptr)) {
            return error_.Failed(std::nullopt);
        }
        return code;
    }

    // As text: the numeric query is 32-bit and would cut lengths past 4 GiB.
    std::optional<std::wstring> ContentLengthText() override { return HeaderText(HTTP_QUERY_CONTENT_LENGTH); }
    std::optional<std::wstring> ContentRangeText() override { return HeaderText(HTTP_QUERY_CONTENT_RANGE); }
    std::optional<std::wstring> LocationText() override { return HeaderText(HTTP_QUERY_LOCATION); }
    std::optional<std::wstring> ETagText() override { return HeaderText(HTTP_QUERY_ETAG); }
    std::optional<std::wstring> LastModifiedText() override { return HeaderText(HTTP_QUERY_LAST_MODIFIED); }
    std::optional<std::wstring> DateText() override { return HeaderText(HTTP_QUERY_DATE); }
    std::optional<std::wstring> RetryAfterText() override { return HeaderText(HTTP_QUERY_RETRY_AFTER); }

    bool SetProxyUserName(const std::wstring& userName) override {
        return SetTextOption(handle_.get(), INTERNET_OPTION_PROXY_USERNAME, userName) || error_.Failed(false);
    }
    bool SetProxyPassword(const std::wstring& password) override {
        return SetTextOption(handle_.get(), INTERNET_OPTION_PROXY_PASSWORD, password) || error_.Failed(false);
    }

    std::uint32_t QueryAvailable() override {
        if (bodyless_) return 0;
        DWORD available = 0;
        return ::InternetQueryDataAvailable(handle_.get(), &available, 0, 0) ? available : error_.Failed(DWORD{0});
    }

    bool Read(std::span<std::byte> buffer, std::uint32_t& read) override {
        if (bodyless_) {
            read = 0;
            return true;
        }
        DWORD count = 0;
        const bool ok = ::InternetReadFile(handle_.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &count);
        read = ok ? count : 0;
        return ok || error_.Failed(false);
    }

    std::uint32_t LastError() const override { return error_.Code(); }

private:
    // Every field of that name, joined by commas as HTTP joins repeated
    // fields: an answer that says two things is not taken for one of them.
    std::optional<std::wstring> HeaderText(DWORD query) {
        std::optional<std::wstring> joined;
        for (DWORD index = 0;;) {
            const DWORD asked = index;
            auto value = HeaderOccurrence(query, index);
            if (!value) return joined ? joined : value;
            joined = joined ? *joined + L", " + *value : *value;
            // A client that does not advance the index has no more to give.
            if (index <= asked) return joined;
        }
    }

    // One field; `index` names it and is moved on to the next one. Its text
    // is taken by the length the client reports, so a NUL inside a value
    // stays in it instead of cutting the value short.
    std::optional<std::wstring> HeaderOccurrence(DWORD query, DWORD& index) {
        std::wstring text(64, L'\0');
        for (;;) {
            DWORD bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
            DWORD at = index;
            if (::HttpQueryInfoW(handle_.get(), query, text.data(), &bytes, &at)) {
                index = at;
                text.resize(bytes / sizeof(wchar_t));
                return text;
            }
            // A header the answer lacks is no failure of the call.
            if (::GetLastError() == ERROR_HTTP_HEADER_NOT_FOUND) return std::nullopt;
            if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) return error_.Failed(std::nullopt);
            text.resize(bytes / sizeof(wchar_t) + 1);
        }
    }

    // Declared first, so the request is closed before its connection.
    UniqueInternet connection_;
    UniqueInternet handle_;
    bool bodyless_;
    bool loginOffered_;
    KeptError error_;
};

// Where a URL points, in the pieces InternetConnectW and HttpOpenRequestW take.
struct Target {
    std::wstring host;
    INTERNET_PORT port = 0;
    std::wstring object;  // path and query
    bool secure = false;
};

std::optional<Target> CrackUrl(const std::wstring& url) {
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof(parts);
    // Non-zero lengths with null pointers: point into `url` instead of copying.
    parts.dwHostNameLength = 1;
    parts.dwUrlPathLength = 1;
    parts.dwExtraInfoLength = 1;
    if (!::InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) return std::nullopt;
    // A part the URL lacks may come back as a null pointer.
    const auto piece = [](const wchar_t* start, DWORD length) {
        return start ? std::wstring(start, length) : std::wstring();
    };
    Target target;
    target.host = piece(parts.lpszHostName, parts.dwHostNameLength);
    target.port = parts.nPort;
    target.object =
        piece(parts.lpszUrlPath, parts.dwUrlPathLength) + piece(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    target.secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    return target;
}

class WinInetSession final : public HttpSession {
public:
    // `login`: the user's login at the named proxy, or nothing.
    WinInetSession(UniqueInternet handle, DWORD silenceMs, std::optional<ProxyLogin> login)
        : handle_(std::move(handle)), silenceMs_(silenceMs), login_(login) {}

    std::unique_ptr<HttpRequest> OpenUrl(const std::wstring& url, const std::wstring& extraHeaders) override {
        return Send(false, url, extraHeaders);
    }

    std::unique_ptr<HttpRequest> OpenHead(const std::wstring& url) override { return Send(true, url, L""); }

    std::uint32_t LastError() const override { return error_.Code(); }

private:
    // Every request is put together by hand (InternetOpenUrlW can only GET
    // and takes no options before it sends): the time limits go on the
    // request itself, which is where Wine reads them, and redirects come back
    // to the caller instead of being followed without end.
    std::unique_ptr<HttpRequest> Send(bool head, const std::wstring& url, const std::wstring& headers) {
        const auto target = CrackUrl(url);
        if (!target) return error_.Failed(nullptr);
        const bool tunnelLogin = target->secure && login_ && !login_->userName.empty();
        // Wine keeps the body of the proxy's challenge to the tunnel of a
        // HEAD for the answer that follows (a HEAD has no body to drain), or
        // fails; a GET whose body is never read stands in for it.
        const wchar_t* verb = head && !tunnelLogin ? L"HEAD" : L"GET";
        UniqueInternet connection(::InternetConnectW(handle_.get(), target->host.c_str(), target->port, nullptr,
                                                     nullptr, INTERNET_SERVICE_HTTP, 0, 0));
        if (!connection) return error_.Failed(nullptr);
        // Without accept types servers may take the client for one that wants text only.
        LPCWSTR acceptTypes[] = {L"*/*", nullptr};
        const DWORD flags =
            kRequestFlags | INTERNET_FLAG_NO_AUTO_REDIRECT | (target->secure ? INTERNET_FLAG_SECURE : 0);
        UniqueInternet request(::HttpOpenRequestW(connection.get(), verb, target->object.c_str(), nullptr, nullptr,
                                                  acceptTypes, flags, 0));
        if (!request || !LimitSilence(request.get()) || (tunnelLogin && !OfferLogin(request.get()))) {
            return error_.Failed(nullptr);
        }
        if (!::HttpSendRequestW(request.get(), headers.empty() ? nullptr : headers.c_str(),
                                static_cast<DWORD>(headers.size()), nullptr, 0)) {
            return error_.Failed(nullptr);
        }
        return std::make_unique<WinInetRequest>(std::move(request), std::move(connection), head, tunnelLogin);
    }

    // A server or proxy that stops sending ends the call that waits for it
    // after this long: connecting, sending, the answer, every read.
    bool LimitSilence(HINTERNET request) {
        for (const DWORD option :
             {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT}) {
            DWORD value = silenceMs_;
            if (!::InternetSetOptionW(request, option, &value, sizeof(value))) return false;
        }
        return true;
    }

    // With the login on the request before it is sent, the client answers
    // the proxy's challenge to the tunnel (CONNECT) by itself: Wine cannot
    // answer it after the fact (the resend after the 407 goes to the proxy
    // as a bare GET). A 407 reaching the caller then means the proxy refused
    // the login. Plain http requests keep the caller's exchange.
    bool OfferLogin(HINTERNET request) {
        return SetTextOption(request, INTERNET_OPTION_PROXY_USERNAME, login_->userName) &&
               SetTextOption(request, INTERNET_OPTION_PROXY_PASSWORD, login_->password);
    }

    UniqueInternet handle_;
    DWORD silenceMs_;
    std::optional<ProxyLogin> login_;
    KeptError error_;
};

}  // namespace

std::unique_ptr<HttpSession> WinInetClient::OpenPreconfigured() {
    return OpenSession(INTERNET_OPEN_TYPE_PRECONFIG, nullptr, std::nullopt);
}

std::unique_ptr<HttpSession> WinInetClient::OpenThroughProxy(const std::wstring& proxyText, const ProxyLogin& login) {
    return OpenSession(INTERNET_OPEN_TYPE_PROXY, proxyText.c_str(), login);
}

std::unique_ptr<HttpSession> WinInetClient::OpenSession(unsigned long accessType, const wchar_t* proxy,
                                                        std::optional<ProxyLogin> login) {
    UniqueInternet handle(::InternetOpenW(nullptr, accessType, proxy, nullptr, 0));
    if (!handle) return error_.Failed(nullptr);
    return std::make_unique<WinInetSession>(std::move(handle), silenceMs_, login);
}

}  // namespace cveltrix::win
