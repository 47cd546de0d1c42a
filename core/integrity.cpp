#include "core/integrity.h"

namespace cveltrix {
namespace {

int HexValue(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

}  // namespace

std::optional<Sha256Digest> ParseSha256(std::wstring_view hex) {
    Sha256Digest digest{};
    if (hex.size() != digest.size() * 2) return std::nullopt;
    for (size_t i = 0; i < digest.size(); ++i) {
        const int high = HexValue(hex[2 * i]);
        const int low = HexValue(hex[2 * i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        digest[i] = static_cast<std::uint8_t>(high << 4 | low);
    }
    return digest;
}

}  // namespace cveltrix
