// What every fuzz target shares: the fuzzer's bytes as text, and a check
// that stops the run with the property that failed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace cveltrix::fuzz {

// UTF-8 where the bytes decode (up to three-byte sequences: the 16-bit
// characters Windows hands over), any other byte as the character of its
// value: corpus files stay readable and still reach beyond ASCII.
inline std::wstring TextOf(const std::uint8_t* data, std::size_t size) {
    std::wstring text;
    for (std::size_t i = 0; i < size;) {
        const unsigned lead = data[i];
        const std::size_t trail = lead >= 0xE0 && lead < 0xF0 ? 2 : lead >= 0xC0 && lead < 0xE0 ? 1 : 0;
        unsigned code = trail == 2 ? lead & 0x0F : lead & 0x1F;
        std::size_t n = 0;
        while (n < trail && i + 1 + n < size && (data[i + 1 + n] & 0xC0) == 0x80) {
            code = code << 6 | (data[i + 1 + n] & 0x3F);
            ++n;
        }
        if (trail == 0 || n < trail) {
            text += static_cast<wchar_t>(lead);
            ++i;
        } else {
            text += static_cast<wchar_t>(code);
            i += 1 + trail;
        }
    }
    return text;
}

inline bool IsDigits(std::wstring_view text) {
    if (text.empty()) return false;
    for (const wchar_t c : text) {
        if (c < L'0' || c > L'9') return false;
    }
    return true;
}

// Digits without their leading zeros ("0" for zero).
inline std::wstring_view Significant(std::wstring_view digits) {
    const std::size_t first = digits.find_first_not_of(L'0');
    return first == std::wstring_view::npos ? L"0" : digits.substr(first);
}

// Decimal digits whose value fits in 64 bits.
inline bool FitsIn64Bits(std::wstring_view digits) {
    const std::wstring_view value = Significant(digits);
    return IsDigits(digits) && (value.size() < 20 || (value.size() == 20 && value <= L"18446744073709551615"));
}

inline wchar_t Lower(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

inline bool StartsWithNoCase(std::wstring_view text, std::wstring_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (Lower(text[i]) != prefix[i]) return false;
    }
    return true;
}

// A failed property: libFuzzer saves the input that led here.
inline void Require(bool holds, const char* property) {
    if (holds) return;
    std::fprintf(stderr, "property failed: %s\n", property);
    std::abort();
}

}  // namespace cveltrix::fuzz
