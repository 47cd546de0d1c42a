#include "core/integrity.h"

#include "core/hex_digit.h"

namespace cveltrix {

std::optional<Sha256Digest> ParseSha256(std::wstring_view hex) {
    Sha256Digest digest{};
    if (hex.size() != digest.size() * 2) return std::nullopt;
    for (size_t i = 0; i < digest.size(); ++i) {
        const int high = HexDigitValue(hex[2 * i]);
        const int low = HexDigitValue(hex[2 * i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        digest[i] = static_cast<std::uint8_t>(high << 4 | low);
    }
    return digest;
}

}  // namespace cveltrix
