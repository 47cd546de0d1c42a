// The progress line and the progress bar's scale.
#pragma once

#include <cstdint>
#include <string>

namespace cveltrix {

// "<received>KB / <total>KB  <percent>%Received ": received kilobytes and the
// percentage rounded half away from zero, the total truncated to whole KB.
// A zero length shows 0 %.
std::wstring ProgressText(std::uint64_t size, std::uint64_t length);

// A control whose range is 32-bit gets byte counts scaled down so that the
// largest one still fits; sizes below 2^31 are shown unscaled.
class BarScale {
public:
    explicit BarScale(std::uint64_t length = 0);
    int Maximum() const;
    int Position(std::uint64_t bytes) const;

private:
    unsigned shift_ = 0;
    std::uint64_t length_ = 0;
};

}  // namespace cveltrix
