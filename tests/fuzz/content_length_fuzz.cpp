// Content-Length as a server or proxy writes it.
#include <algorithm>
#include <optional>

#include "core/http_headers.h"
#include "tests/fuzz/fuzz_support.h"

using namespace cveltrix;
using namespace cveltrix::fuzz;

namespace {

// The number every comma-separated element of `text` names (blanks around
// them aside), when they all name one: a repeated header may arrive joined.
std::optional<std::wstring> AgreedNumber(std::wstring_view text) {
    std::optional<std::wstring> agreed;
    while (true) {
        const std::size_t comma = text.find(L',');
        std::wstring_view element = text.substr(0, comma);
        element.remove_prefix(std::min(element.find_first_not_of(L" \t"), element.size()));
        element = element.substr(0, element.find_last_not_of(L" \t") + 1);
        if (!FitsIn64Bits(element)) return std::nullopt;
        if (agreed && *agreed != Significant(element)) return std::nullopt;
        agreed = std::wstring(Significant(element));
        if (comma == std::wstring_view::npos) return agreed;
        text.remove_prefix(comma + 1);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::wstring text = TextOf(data, size);
    const auto length = ParseContentLength(text);
    if (FitsIn64Bits(text)) Require(length.has_value(), "decimal digits that fit in 64 bits give a length");
    if (length) {
        Require(AgreedNumber(text) == std::to_wstring(*length),
                "a length comes only from decimal digits, and is their value");
    }
    return 0;
}
