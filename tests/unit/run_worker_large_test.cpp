// Files past the 32-bit limits, with fake files that count bytes without
// keeping them.
#include <gmock/gmock.h>

#include "run_worker_fixture.h"

namespace cveltrix::test {
namespace {

using testing::ElementsAre;
using testing::EndsWith;

constexpr std::uint64_t kFourAndAHalfGiB = 4831838208;

std::wstring RangeFrom(std::uint64_t offset) { return L"Range: bytes=" + std::to_wstring(offset) + L"-"; }

TEST_F(WorkerTest, ResumesAFourAndAHalfGiBTempFileOfAFiveGiBFile) {
    files.PutUntracked(kTempPath, kFourAndAHalfGiB);
    window.CancelAfterChunks(1);
    Serve(ProbeAnswer(5 * kGiB), PartialAnswer(kFourAndAHalfGiB, 5 * kGiB));
    Run();
    EXPECT_THAT(http.Sent(), ElementsAre(L"HEAD", L"GET Range: bytes=4831838208-"));
    EXPECT_THAT(window.Ranges(), ElementsAre(5 * kGiB));
    ASSERT_EQ(window.ProgressShown().size(), 1u);
    EXPECT_EQ(window.ProgressShown()[0].text, L"4718600KB / 5242880KB  90%Received ");
    EXPECT_EQ(window.ProgressShown()[0].position, kFourAndAHalfGiB + 8192);
    EXPECT_TRUE(TempHolds(kFourAndAHalfGiB + 8192));
    EXPECT_TRUE(window.Messages().empty());
}

struct LargeCase : NamedCase {
    std::uint64_t initial;
    std::uint64_t length;
    bool throughProxy;
};

class LargeCompletionTest : public WorkerTest, public testing::WithParamInterface<LargeCase> {};

TEST_P(LargeCompletionTest, CompletesAndSavesWithSixtyFourBitSizes) {
    const LargeCase& c = GetParam();
    if (c.throughProxy) UseProxy();
    files.PutUntracked(kTempPath, c.initial);
    Serve(ProbeAnswer(c.length), PartialAnswer(c.initial, c.length));
    Run();
    EXPECT_THAT(http.Sent(), ElementsAre(L"HEAD", L"GET " + RangeFrom(c.initial)));
    EXPECT_THAT(window.Ranges(), ElementsAre(c.length));
    ASSERT_FALSE(window.ProgressShown().empty());
    EXPECT_THAT(window.ProgressShown().back().text, EndsWith(L"KB  100%Received "));
    EXPECT_EQ(window.ProgressShown().back().position, c.length);
    EXPECT_THAT(window.Messages(), ElementsAre(kCompleteShown));
    EXPECT_TRUE(Saved(c.length));
}

INSTANTIATE_TEST_SUITE_P(Sizes, LargeCompletionTest,
                         testing::Values(LargeCase{"FiveGiB", 5 * kGiB - 20000, 5 * kGiB, false},
                                         LargeCase{"FiveGiBThroughProxy", 5 * kGiB - 20000, 5 * kGiB, true},
                                         LargeCase{"OneBytePastFourGiB", 4 * kGiB, 4 * kGiB + 1, false},
                                         LargeCase{"AcrossTwoGiB", 2 * kGiB - 10000, 2 * kGiB + 10000, false}),
                         CaseName<LargeCase>);

TEST_F(WorkerTest, FiveGiBLengthIsShownExactly) {
    files.PutUntracked(kTempPath, 5 * kGiB - 20000);
    Serve(ProbeAnswer(5 * kGiB), PartialAnswer(5 * kGiB - 20000, 5 * kGiB));
    Run();
    EXPECT_EQ(window.ProgressShown().back().text, L"5242880KB / 5242880KB  100%Received ");
}

TEST_F(WorkerTest, AlreadyCompleteFiveGiBFileIsOfferedForSaving) {
    files.PutUntracked(kTempPath, 5 * kGiB);
    Serve(ProbeAnswer(5 * kGiB), ErrorAnswer(416));
    Run();
    EXPECT_THAT(http.Sent(), ElementsAre(L"HEAD", L"GET Range: bytes=5368709120-"));
    EXPECT_THAT(window.Messages(), ElementsAre(Shown{3, BoxKind::OkInformation}, kCompleteShown));
    EXPECT_TRUE(Saved(5 * kGiB));
}

// Cut to 32 bits, a length of 4 GiB + 1000 would read 1000 and make a
// 1000-byte temp file look complete.
TEST_F(WorkerTest, LengthPastFourGiBIsNotCutToThirtyTwoBits) {
    files.PutUntracked(kTempPath, 1000);
    window.CancelAfterChunks(1);
    Serve(ProbeAnswer(4 * kGiB + 1000), PartialAnswer(1000, 4 * kGiB + 1000));
    Run();
    EXPECT_THAT(http.Sent(), ElementsAre(L"HEAD", L"GET Range: bytes=1000-"));
    EXPECT_TRUE(window.Messages().empty());
    EXPECT_TRUE(TempHolds(1000 + 8192));
}

}  // namespace
}  // namespace cveltrix::test
