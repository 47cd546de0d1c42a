// One hexadecimal digit, as URLs escape bytes and digests are written.
#pragma once

namespace cveltrix {

// The digit's value, or -1 for a character that is none.
constexpr int HexDigitValue(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

}  // namespace cveltrix
