#include "core/proxy_config.h"

#include <algorithm>
#include <string_view>

namespace cveltrix {

void WipeText(std::wstring& text) {
    // Through a volatile pointer so the stores are not dropped as dead.
    volatile wchar_t* p = text.data();
    for (size_t i = 0; i < text.size(); ++i) p[i] = L'\0';
    text.clear();
}

namespace {

// Blanks a paste brings along, the ideographic space of a Japanese IME among them.
constexpr std::wstring_view kBlanks = L" \t\r\n\u00A0\u3000";

void Trim(std::wstring& text) {
    text.erase(0, std::min(text.find_first_not_of(kBlanks), text.size()));
    text.erase(text.find_last_not_of(kBlanks) + 1);
}

// A host name or IPv4 address has no colon, "host:port" one; an IPv6 address at least two.
bool IsBareIpv6(const std::wstring& address) {
    return !address.starts_with(L'[') && std::count(address.begin(), address.end(), L':') >= 2;
}

}  // namespace

std::wstring ProxyConfig::ProxyText() const {
    return (IsBareIpv6(address) ? L"[" + address + L"]" : address) + L":" + port;
}

void ProxyConfig::TrimTypedBlanks() {
    Trim(address);
    Trim(port);
    Trim(userName);
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
