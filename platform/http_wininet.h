// The HTTP client through WinINet.
#pragma once

#include "download/http.h"

namespace cveltrix::win {

class WinInetClient final : public HttpClient {
public:
    // Requests give up on a server or proxy silent for `silenceSeconds`.
    explicit WinInetClient(unsigned silenceSeconds) : silenceMs_(silenceSeconds * 1000) {}

    std::unique_ptr<HttpSession> OpenPreconfigured() override;
    std::unique_ptr<HttpSession> OpenThroughProxy(const std::wstring& proxyText, const ProxyLogin& login) override;

private:
    unsigned long silenceMs_;
};

}  // namespace cveltrix::win
