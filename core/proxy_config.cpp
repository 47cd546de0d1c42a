#include "core/proxy_config.h"

namespace cveltrix {

void WipeText(std::wstring& text) {
    // Through a volatile pointer so the stores are not dropped as dead.
    volatile wchar_t* p = text.data();
    for (size_t i = 0; i < text.size(); ++i) p[i] = L'\0';
    text.clear();
}

void ProxyConfig::WipeCredentials() {
    WipeText(userName);
    WipeText(password);
}

ProxyConfig& ProcessProxyConfig() {
    static ProxyConfig config;
    return config;
}

}  // namespace cveltrix
