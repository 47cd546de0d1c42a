#include "core/progress.h"

#include <algorithm>
#include <cmath>

namespace cveltrix {
namespace {

// std::llround rounds halves away from zero whatever the C library's printf
// does with "%.0f" (which rounds them to even).
std::wstring Whole(double value) { return std::to_wstring(static_cast<unsigned long long>(std::llround(value))); }

constexpr std::uint64_t kIntMax = 0x7FFFFFFF;

}  // namespace

std::wstring ProgressText(std::uint64_t size, std::uint64_t length) {
    const double received = static_cast<double>(size) / 1024.0;
    const double total = static_cast<double>(length / 1024);
    const double percent = length == 0 ? 0.0 : static_cast<double>(size) / static_cast<double>(length) * 100.0;
    return Whole(received) + L"KB / " + Whole(total) + L"KB  " + Whole(percent) + L"%Received ";
}

BarScale::BarScale(std::uint64_t length) : length_(length) {
    while ((length >> shift_) > kIntMax) ++shift_;
}

int BarScale::Maximum() const { return static_cast<int>(length_ >> shift_); }

int BarScale::Position(std::uint64_t bytes) const {
    return static_cast<int>(std::min(bytes >> shift_, kIntMax));
}

}  // namespace cveltrix
