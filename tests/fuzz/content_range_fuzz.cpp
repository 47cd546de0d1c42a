// Content-Range of a 206 answer: where the body starts, ends, and how long
// the whole file is.
#include "core/http_headers.h"
#include "tests/fuzz/fuzz_support.h"

using namespace cveltrix;
using namespace cveltrix::fuzz;

namespace {

// The digits of `digits` name `value`.
bool Names(std::wstring_view digits, std::uint64_t value) {
    return IsDigits(digits) && Significant(digits) == std::to_wstring(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::wstring text = TextOf(data, size);
    const auto range = ParseContentRange(text);
    if (!range) return 0;
    static constexpr std::wstring_view kUnit = L"bytes ";
    Require(text.starts_with(kUnit), "a range only for the unit \"bytes \"");
    const std::wstring_view rest = std::wstring_view(text).substr(kUnit.size());
    const std::size_t dash = rest.find(L'-');
    const std::size_t slash = rest.find(L'/');
    Require(dash != std::wstring_view::npos && slash != std::wstring_view::npos && dash < slash,
            "a range only for \"bytes FIRST-LAST/TOTAL\"");
    Require(Names(rest.substr(0, dash), range->first), "FIRST is the first byte");
    Require(Names(rest.substr(dash + 1, slash - dash - 1), range->last), "LAST is the last byte");
    Require(range->first <= range->last, "the range is not empty");
    const std::wstring_view total = rest.substr(slash + 1);
    if (total == L"*") {
        Require(!range->total, "an unknown total stays unknown");
    } else {
        Require(range->total && Names(total, *range->total), "TOTAL is the file's length");
        Require(*range->total > range->last, "the range lies inside the file");
    }
    return 0;
}
