#include "core/progress.h"

#include <gtest/gtest.h>

#include <climits>

namespace cveltrix {
namespace {

constexpr std::uint64_t kGiB = 1024ull * 1024 * 1024;

struct ProgressCase {
    std::uint64_t size;
    std::uint64_t length;
    const wchar_t* text;
};

class ProgressTextTest : public testing::TestWithParam<ProgressCase> {};

TEST_P(ProgressTextTest, FormatsKilobytesAndPercent) {
    EXPECT_EQ(ProgressText(GetParam().size, GetParam().length), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ProgressTextTest,
    testing::Values(
        // Halves round away from zero: 2.5 KB shows 3 and 62.5 % shows 63,
        // where rounding to even would give 2 and 62.
        ProgressCase{512, 1024, L"1KB / 1KB  50%Received "}, ProgressCase{511, 1024, L"0KB / 1KB  50%Received "},
        ProgressCase{2560, 4096, L"3KB / 4KB  63%Received "}, ProgressCase{1536, 4096, L"2KB / 4KB  38%Received "},
        ProgressCase{128, 1024, L"0KB / 1KB  13%Received "}, ProgressCase{5, 8, L"0KB / 0KB  63%Received "},
        // The total is cut to whole kilobytes before it is shown, so a file of
        // 2047 bytes ends at "2KB / 1KB".
        ProgressCase{2047, 2047, L"2KB / 1KB  100%Received "}, ProgressCase{0, 2047, L"0KB / 1KB  0%Received "},
        ProgressCase{1023, 1023, L"1KB / 0KB  100%Received "}, ProgressCase{1000, 1000, L"1KB / 0KB  100%Received "},
        // No length, and lengths past 32 bits.
        ProgressCase{0, 0, L"0KB / 0KB  0%Received "}, ProgressCase{5000, 0, L"5KB / 0KB  0%Received "},
        ProgressCase{5 * kGiB, 5 * kGiB, L"5242880KB / 5242880KB  100%Received "},
        ProgressCase{4 * kGiB + kGiB / 2, 5 * kGiB, L"4718592KB / 5242880KB  90%Received "},
        ProgressCase{2 * kGiB, 4 * kGiB, L"2097152KB / 4194304KB  50%Received "}));

TEST(BarScaleTest, ShowsLengthsBelowTwoGiBUnscaled) {
    const BarScale small(1000);
    EXPECT_EQ(small.Maximum(), 1000);
    EXPECT_EQ(small.Position(0), 0);
    EXPECT_EQ(small.Position(437), 437);
    EXPECT_EQ(small.Position(1000), 1000);

    const BarScale largest(INT_MAX);
    EXPECT_EQ(largest.Maximum(), INT_MAX);
    EXPECT_EQ(largest.Position(INT_MAX - 1ull), INT_MAX - 1);
}

TEST(BarScaleTest, ScalesLargerLengthsIntoTheRangeKeepingProportions) {
    for (const std::uint64_t length : {2 * kGiB, 4 * kGiB + 1, 5 * kGiB, 1024 * kGiB}) {
        SCOPED_TRACE(length);
        const BarScale scale(length);
        EXPECT_GT(scale.Maximum(), 0);
        EXPECT_LE(scale.Maximum(), INT_MAX);
        EXPECT_EQ(scale.Position(0), 0);
        EXPECT_EQ(scale.Position(length), scale.Maximum());
        for (const double share : {0.1, 0.5, 0.9}) {
            const auto bytes = static_cast<std::uint64_t>(static_cast<double>(length) * share);
            EXPECT_NEAR(static_cast<double>(scale.Position(bytes)) / scale.Maximum(), share, 1e-6);
        }
    }
}

TEST(BarScaleTest, AnEmptyLengthGivesAnEmptyRange) {
    const BarScale none;
    EXPECT_EQ(none.Maximum(), 0);
    EXPECT_EQ(none.Position(0), 0);
}

}  // namespace
}  // namespace cveltrix
