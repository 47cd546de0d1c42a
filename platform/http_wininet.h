// The HTTP client through WinINet.
#pragma once

#include "download/http.h"

namespace cveltrix::win {

class WinInetClient final : public HttpClient {
public:
    std::unique_ptr<HttpSession> OpenPreconfigured() override;
    std::unique_ptr<HttpSession> OpenThroughProxy(const std::wstring& proxyText) override;
};

}  // namespace cveltrix::win
