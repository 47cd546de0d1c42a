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

    // "address:port" (an empty port leaves the colon); an IPv6 address in
    // brackets, or its last group would read as the port.
    std::wstring ProxyText() const;
    // Drops the blanks around the address, the port and the user name, as
    // OK takes the fields: a pasted address often brings one, and the client
    // would split its proxy list there. The password is kept as typed.
    void TrimTypedBlanks();
    // Overwrites the credentials in memory before they are released.
    void WipeCredentials();
};

// Overwrites a secret's characters before the text is cleared.
void WipeText(std::wstring& text);

// The one record of the process. Written only by the window thread.
ProxyConfig& ProcessProxyConfig();

}  // namespace cveltrix
