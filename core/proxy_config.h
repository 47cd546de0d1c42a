// The process-wide proxy settings. Never stored: every start begins with
// the do-not-use mode and empty texts.
#pragma once

#include <cstdint>
#include <string>

namespace cveltrix {

struct ProxyConfig {
    static constexpr std::int32_t kUseProxy = 0;
    static constexpr std::int32_t kNoProxy = 1;

    std::wstring address;
    std::wstring port;
    std::wstring userName;
    std::wstring password;
    std::int32_t mode = kNoProxy;

    // "address:port", exactly as typed (an empty port leaves the colon).
    std::wstring ProxyText() const { return address + L":" + port; }
    // Overwrites the credentials in memory before they are released.
    void WipeCredentials();
};

// Overwrites a secret's characters before the text is cleared.
void WipeText(std::wstring& text);

// The one record of the process. Written only by the window thread.
ProxyConfig& ProcessProxyConfig();

}  // namespace cveltrix
