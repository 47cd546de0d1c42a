#include "download/http.h"

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

std::optional<std::uint64_t> ParseContentRangeStart(const std::wstring& text) {
    static constexpr std::wstring_view kUnit = L"bytes ";
    if (text.compare(0, kUnit.size(), kUnit) != 0) return std::nullopt;
    size_t pos = kUnit.size();
    auto first = ParseDecimal(text, pos);
    if (!first || pos >= text.size() || text[pos] != L'-') return std::nullopt;
    return first;
}

}  // namespace cveltrix
