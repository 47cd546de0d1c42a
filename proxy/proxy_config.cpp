#include "proxy/proxy_config.h"

#include <algorithm>

namespace cveltrix {
namespace {

void Wipe(std::wstring& text) {
    // Through a volatile pointer so the stores are not dropped as dead.
    volatile wchar_t* p = text.data();
    for (size_t i = 0; i < text.size(); ++i) p[i] = L'\0';
    text.clear();
}

}  // namespace

void ProxyConfig::WipeCredentials() {
    Wipe(userName);
    Wipe(password);
}

ProxyConfig& ProcessProxyConfig() {
    static ProxyConfig config;
    return config;
}

}  // namespace cveltrix
