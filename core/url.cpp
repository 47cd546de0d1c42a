#include "core/url.h"

#include <algorithm>
#include <cstdint>

#include "core/hex_digit.h"
#include "core/text_case.h"

namespace cveltrix {
namespace {

// The five parts of a URI reference (RFC 3986, appendix B); a part that is
// absent differs from one that is present and empty.
struct Reference {
    std::optional<std::wstring> scheme;
    std::optional<std::wstring> authority;
    std::wstring path;
    std::optional<std::wstring> query;
    std::optional<std::wstring> fragment;
};

Reference SplitReference(const std::wstring& text) {
    Reference ref;
    size_t pos = 0;
    const size_t colon = text.find_first_of(L":/?#");
    if (colon != std::wstring::npos && colon > 0 && text[colon] == L':') {
        ref.scheme = text.substr(0, colon);
        pos = colon + 1;
    }
    if (text.compare(pos, 2, L"//") == 0) {
        const size_t end = text.find_first_of(L"/?#", pos + 2);
        ref.authority = text.substr(pos + 2, end - (pos + 2));
        pos = std::min(end, text.size());
    }
    const size_t pathEnd = std::min(text.find_first_of(L"?#", pos), text.size());
    ref.path = text.substr(pos, pathEnd - pos);
    pos = pathEnd;
    if (pos < text.size() && text[pos] == L'?') {
        const size_t end = std::min(text.find(L'#', pos), text.size());
        ref.query = text.substr(pos + 1, end - pos - 1);
        pos = end;
    }
    if (pos < text.size()) ref.fragment = text.substr(pos + 1);
    return ref;
}

// RFC 3986 section 5.2.4.
std::wstring RemoveDotSegments(std::wstring input) {
    std::wstring output;
    const auto dropLastSegment = [&] { output.erase(std::min(output.rfind(L'/'), output.size())); };
    while (!input.empty()) {
        if (input.starts_with(L"../")) {
            input.erase(0, 3);
        } else if (input.starts_with(L"./")) {
            input.erase(0, 2);
        } else if (input.starts_with(L"/./")) {
            input.erase(0, 2);
        } else if (input == L"/.") {
            input = L"/";
        } else if (input.starts_with(L"/../")) {
            input.erase(0, 3);
            dropLastSegment();
        } else if (input == L"/..") {
            input = L"/";
            dropLastSegment();
        } else if (input == L"." || input == L"..") {
            input.clear();
        } else {
            const size_t end = std::min(input.find(L'/', 1), input.size());
            output += input.substr(0, end);
            input.erase(0, end);
        }
    }
    return output;
}

// RFC 3986 section 5.2.3.
std::wstring MergePaths(const Reference& base, const std::wstring& path) {
    if (base.authority && base.path.empty()) return L"/" + path;
    return base.path.substr(0, base.path.rfind(L'/') + 1) + path;
}

// RFC 3986 section 5.2.2, for a reference without a scheme of its own.
Reference ResolveRelative(const Reference& base, const Reference& ref) {
    Reference target;
    target.scheme = base.scheme;
    target.fragment = ref.fragment;
    if (ref.authority) {
        target.authority = ref.authority;
        target.path = RemoveDotSegments(ref.path);
        target.query = ref.query;
        return target;
    }
    target.authority = base.authority;
    if (ref.path.empty()) {
        target.path = base.path;
        target.query = ref.query ? ref.query : base.query;
        return target;
    }
    target.path = RemoveDotSegments(ref.path.starts_with(L'/') ? ref.path : MergePaths(base, ref.path));
    target.query = ref.query;
    return target;
}

std::wstring Recompose(const Reference& ref) {
    std::wstring text = *ref.scheme + L"://" + *ref.authority + ref.path;
    if (ref.query) text += L"?" + *ref.query;
    if (ref.fragment) text += L"#" + *ref.fragment;
    return text;
}

// The host follows the user information, if any, and comes before the port.
bool HasHost(const std::wstring& authority) {
    const size_t at = authority.rfind(L'@');
    const std::wstring_view host = std::wstring_view(authority).substr(at == std::wstring::npos ? 0 : at + 1);
    return !host.empty() && host.front() != L':';
}

// Only what the client can fetch: http(s) with a host, and no character
// that cannot stand in a request line.
bool IsFetchable(const Reference& ref) {
    return ref.scheme && (EqualsNoCase(*ref.scheme, L"http") || EqualsNoCase(*ref.scheme, L"https")) &&
           ref.authority && HasHost(*ref.authority);
}

bool HasUnsafeCharacter(const std::wstring& text) {
    return std::any_of(text.begin(), text.end(), [](wchar_t c) { return c <= 0x20 || c == 0x7F; });
}

}  // namespace

std::optional<std::wstring> ResolveLocation(const std::wstring& base, const std::wstring& location) {
    if (HasUnsafeCharacter(location)) return std::nullopt;
    const Reference ref = SplitReference(location);
    Reference target;
    if (ref.scheme) {
        target = ref;
        target.path = RemoveDotSegments(ref.path);
    } else {
        target = ResolveRelative(SplitReference(base), ref);
    }
    if (!IsFetchable(target)) return std::nullopt;
    return Recompose(target);
}

std::wstring WithoutFragment(const std::wstring& url) { return url.substr(0, url.find(L'#')); }

std::wstring PathOf(const std::wstring& url) { return SplitReference(url).path; }

std::wstring WithoutQuery(const std::wstring& url) { return url.substr(0, url.find_first_of(L"?#")); }

namespace {

// Strict UTF-8 (RFC 3629): no overlong form, no surrogate, nothing past
// U+10FFFF, no sequence cut short; appended to `text` as wide characters.
bool AppendUtf8(const std::string& bytes, std::wstring& text) {
    for (size_t i = 0; i < bytes.size();) {
        const auto lead = static_cast<std::uint8_t>(bytes[i]);
        const int extra = lead < 0x80                   ? 0
                          : lead >= 0xC2 && lead <= 0xDF ? 1
                          : (lead & 0xF0) == 0xE0        ? 2
                          : lead >= 0xF0 && lead <= 0xF4 ? 3
                                                         : -1;
        if (extra < 0 || i + extra >= bytes.size()) return false;
        char32_t code = lead & (0x7F >> extra);
        for (int k = 1; k <= extra; ++k) {
            const auto next = static_cast<std::uint8_t>(bytes[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            code = code << 6 | (next & 0x3F);
        }
        constexpr char32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
        if (code < kLeast[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
        // A character past the first plane takes two UTF-16 units where wchar_t is 16 bits wide.
        if (sizeof(wchar_t) == 2 && code >= 0x10000) {
            text += static_cast<wchar_t>(0xD800 + ((code - 0x10000) >> 10));
            text += static_cast<wchar_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            text += static_cast<wchar_t>(code);
        }
        i += extra + 1;
    }
    return true;
}

}  // namespace

// A run of escapes is one stretch of UTF-8; other characters stand for themselves.
std::optional<std::wstring> PercentDecoded(std::wstring_view text) {
    std::wstring decoded;
    for (size_t i = 0; i < text.size();) {
        std::string bytes;
        for (; i < text.size() && text[i] == L'%'; i += 3) {
            const int high = i + 2 < text.size() ? HexDigitValue(text[i + 1]) : -1;
            const int low = high >= 0 ? HexDigitValue(text[i + 2]) : -1;
            if (low < 0) return std::nullopt;
            bytes += static_cast<char>(high << 4 | low);
        }
        if (!AppendUtf8(bytes, decoded)) return std::nullopt;
        if (i < text.size()) decoded += text[i++];
    }
    return decoded;
}

bool IsDowngrade(const std::wstring& from, const std::wstring& to) {
    return StartsWithNoCase(from, L"https://") && StartsWithNoCase(to, L"http://");
}

}  // namespace cveltrix
