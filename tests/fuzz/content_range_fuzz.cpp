// Content-Range of a 206 answer: where the body starts.
#include "download/http.h"
#include "tests/fuzz/fuzz_support.h"

using namespace cveltrix;
using namespace cveltrix::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::wstring text = TextOf(data, size);
    const auto start = ParseContentRangeStart(text);
    if (!start) return 0;
    static constexpr std::wstring_view kUnit = L"bytes ";
    Require(StartsWithNoCase(text, kUnit), "a start only for the unit \"bytes \"");
    const std::wstring_view range = std::wstring_view(text).substr(kUnit.size());
    const std::wstring_view first = range.substr(0, range.find(L'-'));
    Require(first.size() < range.size() && IsDigits(first), "a start only for \"bytes N-...\"");
    Require(Significant(first) == std::to_wstring(*start), "the start is N's value");
    return 0;
}
