// The progress line and the bar's scale for any size and length. Input:
// the two as decimal numbers, "SIZE LENGTH".
#include <charconv>
#include <climits>
#include <cmath>
#include <regex>

#include "core/progress.h"
#include "tests/fuzz/fuzz_support.h"

using namespace cveltrix;
using namespace cveltrix::fuzz;

namespace {

// `shown` is `exact` rounded, within a few roundings of a double.
bool Rounds(std::uint64_t shown, long double exact) {
    return std::fabs(static_cast<long double>(shown) - exact) <= 0.5L + exact * 0x1p-48L;
}

void CheckText(std::uint64_t size, std::uint64_t length) {
    static const std::wregex kForm(L"([0-9]+)KB / ([0-9]+)KB  ([0-9]+)%Received ");
    const std::wstring text = ProgressText(size, length);
    std::wsmatch numbers;
    Require(std::regex_match(text, numbers, kForm), "the text is \"<n>KB / <n>KB  <n>%Received \"");
    Require(FitsIn64Bits(numbers.str(1)) && FitsIn64Bits(numbers.str(2)) && FitsIn64Bits(numbers.str(3)),
            "every number fits in 64 bits");
    const std::uint64_t received = std::stoull(numbers.str(1));
    const std::uint64_t total = std::stoull(numbers.str(2));
    const std::uint64_t percent = std::stoull(numbers.str(3));
    Require(Rounds(received, size / 1024.0L), "the received kilobytes are rounded");
    Require(Rounds(total, static_cast<long double>(length / 1024)), "the total is in whole kilobytes");
    if (length == 0) {
        Require(percent == 0, "no length shows 0 %");
    } else if (size <= length) {
        Require(Rounds(percent, 100.0L * size / length) && percent <= 100, "the percentage is rounded, at most 100");
    } else {
        Require(percent >= 100, "more than the length shows at least 100 %");
    }
}

void CheckBar(std::uint64_t size, std::uint64_t length) {
    const BarScale scale(length);
    Require(scale.Maximum() >= 0 && (length > INT_MAX || static_cast<std::uint64_t>(scale.Maximum()) == length),
            "the bar's maximum is the length when it fits");
    Require(scale.Position(length) == scale.Maximum() && scale.Position(0) == 0, "the bar runs from 0 to its maximum");
    if (size <= length) {
        Require(scale.Position(size) >= 0 && scale.Position(size) <= scale.Maximum(), "a size within the length is on the bar");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* const end = reinterpret_cast<const char*>(data) + size;
    std::uint64_t received = 0, length = 0;
    const auto first = std::from_chars(reinterpret_cast<const char*>(data), end, received);
    if (first.ec != std::errc() || first.ptr == end || *first.ptr != ' ') return 0;
    if (std::from_chars(first.ptr + 1, end, length).ec != std::errc()) return 0;
    CheckText(received, length);
    CheckBar(received, length);
    return 0;
}
