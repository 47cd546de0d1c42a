// Comparing protocol words (schemes, range units), which HTTP and URIs match
// without regard to case.
#pragma once

#include <algorithm>
#include <cwctype>
#include <string_view>

namespace cveltrix {

// `lower` is already in lower case.
inline bool EqualsNoCase(std::wstring_view text, std::wstring_view lower) {
    return text.size() == lower.size() && std::equal(text.begin(), text.end(), lower.begin(), [](wchar_t a, wchar_t b) {
               return static_cast<wchar_t>(std::towlower(a)) == b;
           });
}

inline bool StartsWithNoCase(std::wstring_view text, std::wstring_view lower) {
    return text.size() >= lower.size() && EqualsNoCase(text.substr(0, lower.size()), lower);
}

}  // namespace cveltrix
