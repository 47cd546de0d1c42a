// The HTTP client through WinINet.
#pragma once

#include <optional>

#include "core/http.h"
#include "platform/last_error_win.h"

namespace cveltrix::win {

class WinInetClient final : public HttpClient {
public:
    // Requests give up on a server or proxy silent for `silenceSeconds`.
    explicit WinInetClient(unsigned silenceSeconds) : silenceMs_(silenceSeconds * 1000) {}

    std::unique_ptr<HttpSession> OpenPreconfigured() override;
    std::unique_ptr<HttpSession> OpenThroughProxy(const std::wstring& proxyText, const ProxyLogin& login) override;
    std::uint32_t LastError() const override { return error_.Code(); }

private:
    std::unique_ptr<HttpSession> OpenSession(unsigned long accessType, const wchar_t* proxy,
                                             std::optional<ProxyLogin> login);

    unsigned long silenceMs_;
    KeptError error_;
};

}  // namespace cveltrix::win
