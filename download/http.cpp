#include "download/http.h"

#include <cwctype>
#include <limits>

namespace cveltrix {
namespace {

// Decimal digits of `text` from `pos` on, up to the first non-digit.
std::optional<std::uint64_t> ParseDecimal(const std::wstring& text, size_t& pos) {
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    const size_t start = pos;
    std::uint64_t value = 0;
    for (; pos < text.size() && text[pos] >= L'0' && text[pos] <= L'9'; ++pos) {
        const unsigned digit = static_cast<unsigned>(text[pos] - L'0');
        if (value > (kMax - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    if (pos == start) return std::nullopt;
    return value;
}

}  // namespace

std::optional<std::uint64_t> ParseContentLength(const std::wstring& text) {
    size_t pos = 0;
    auto value = ParseDecimal(text, pos);
    if (!value || pos != text.size()) return std::nullopt;
    return value;
}

namespace {

bool StartsWithNoCase(const std::wstring& text, std::wstring_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (static_cast<wchar_t>(std::towlower(text[i])) != prefix[i]) return false;
    }
    return true;
}

// "scheme://authority" of an absolute URL: a query or fragment may follow
// the authority without a path.
std::wstring OriginOf(const std::wstring& url) {
    const std::size_t authority = url.find(L"://") + 3;
    return url.substr(0, url.find_first_of(L"/?#", authority));
}

// Nothing for a URL without a host ("http:///path"): it leads nowhere.
std::optional<std::wstring> WithHost(std::wstring url) {
    const std::size_t host = url.find(L"://") + 3;
    if (host == url.size() || url.find_first_of(L"/?#", host) == host) return std::nullopt;
    return url;
}

}  // namespace

std::optional<std::wstring> ResolveLocation(const std::wstring& base, const std::wstring& location) {
    if (StartsWithNoCase(location, L"http://") || StartsWithNoCase(location, L"https://")) return WithHost(location);
    if (location.starts_with(L"//")) return WithHost(base.substr(0, base.find(L':') + 1) + location);
    if (location.find(L':') < location.find_first_of(L"/?#")) return std::nullopt;  // another scheme
    const std::wstring origin = OriginOf(base);
    if (location.starts_with(L'/')) return origin + location;
    const std::wstring path = base.substr(origin.size(), base.find_first_of(L"?#", origin.size()) - origin.size());
    const std::wstring folder = path.substr(0, path.rfind(L'/') + 1);
    return origin + (folder.empty() ? L"/" : folder) + location;
}

bool IsDowngrade(const std::wstring& from, const std::wstring& to) {
    return StartsWithNoCase(from, L"https://") && StartsWithNoCase(to, L"http://");
}

std::optional<std::uint64_t> ParseContentRangeStart(const std::wstring& text) {
    static constexpr std::wstring_view kUnit = L"bytes ";
    if (text.compare(0, kUnit.size(), kUnit) != 0) return std::nullopt;
    size_t pos = kUnit.size();
    auto first = ParseDecimal(text, pos);
    if (!first || pos >= text.size() || text[pos] != L'-') return std::nullopt;
    return first;
}

}  // namespace cveltrix
