#include "core/web_mark.h"

namespace cveltrix {

std::wstring ZoneIdentifierPath(const std::wstring& path) { return path + L":Zone.Identifier"; }

std::wstring ZoneIdentifierText(const std::wstring& url) {
    return L"[ZoneTransfer]\r\nZoneId=3\r\nHostUrl=" + WithoutUserInfo(url) + L"\r\n";
}

std::wstring WithoutUserInfo(const std::wstring& url) {
    const auto scheme = url.find(L"://");
    if (scheme == std::wstring::npos) return url;
    const auto host = scheme + 3;
    const auto authorityEnd = url.find_first_of(L"/?#", host);
    const auto at = url.rfind(L'@', authorityEnd == std::wstring::npos ? std::wstring::npos : authorityEnd - 1);
    if (at == std::wstring::npos || at < host) return url;
    return url.substr(0, host) + url.substr(at + 1);
}

}  // namespace cveltrix
