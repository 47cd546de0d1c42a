// A build that pins the installer's digest saves only a file that has it.
#include "download/integrity.h"

#include <gmock/gmock.h>

#include <algorithm>

#include "worker_fixture.h"

namespace cveltrix::test {
namespace {

using testing::ElementsAre;

constexpr const wchar_t* kHex = L"00112233445566778899aabbccddeeffFFEEDDCCBBAA99887766554433221100";

Sha256Digest ExpectedDigest() {
    return {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff,
            0xff, 0xee, 0xdd, 0xcc, 0xbb, 0xaa, 0x99, 0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11, 0x00};
}

TEST(ParseSha256Test, TakesSixtyFourHexDigitsOfEitherCase) {
    EXPECT_EQ(ParseSha256(kHex), ExpectedDigest());
}

TEST(ParseSha256Test, RejectsAnyOtherText) {
    const std::wstring hex = kHex;
    EXPECT_EQ(ParseSha256(L""), std::nullopt);
    EXPECT_EQ(ParseSha256(hex.substr(1)), std::nullopt);
    EXPECT_EQ(ParseSha256(hex + L"0"), std::nullopt);
    EXPECT_EQ(ParseSha256(L"g" + hex.substr(1)), std::nullopt);
    EXPECT_EQ(ParseSha256(hex.substr(0, 63) + L" "), std::nullopt);
    EXPECT_EQ(ParseSha256(L"0x" + hex.substr(2)), std::nullopt);
}

class PinnedWorkerTest : public WorkerTest {
protected:
    PinnedWorkerTest() {
        env.hasher = &hasher;
        env.pin = ExpectedDigest();
        Serve(ProbeAnswer(kLength), WholeAnswer(kLength));
    }

    FakeHasher hasher;
};

TEST_F(PinnedWorkerTest, FileWithThePinnedDigestIsSaved) {
    hasher.digest = ExpectedDigest();
    Run();
    EXPECT_THAT(hasher.hashed, ElementsAre(kTempPath));
    EXPECT_THAT(window.Messages(), ElementsAre(kCompleteShown));
    EXPECT_TRUE(Saved(kLength));
}

// Resuming can never mend wrong bytes, so the next Start begins afresh.
TEST_F(PinnedWorkerTest, FileWithAnotherDigestIsEmptiedAndNotOffered) {
    hasher.digest = Sha256Digest{};
    Run();
    EXPECT_THAT(window.Messages(), ElementsAre(Shown{16, BoxKind::Ok}));
    EXPECT_EQ(window.FolderPrompts(), 0);
    EXPECT_TRUE(TempHolds(0));
    EXPECT_EQ(hasher.openFollowers, 0);
}

TEST_F(PinnedWorkerTest, FileThatCannotBeHashedIsKeptButNotOffered) {
    Run();
    EXPECT_THAT(window.Messages(), ElementsAre(Shown{16, BoxKind::Ok}));
    EXPECT_TRUE(TempHolds(kLength));
}

TEST_F(PinnedWorkerTest, IncompleteFileIsNotHashed) {
    window.CancelAfterChunks(1);
    Run();
    EXPECT_TRUE(hasher.hashed.empty());
    EXPECT_TRUE(window.Messages().empty());
}

// The digest is taken while the bytes arrive, so checking costs almost
// nothing once the last one is written.
TEST_F(PinnedWorkerTest, FollowsTheTransferAndFinishesAtTheFinalSize) {
    hasher.follows = true;
    hasher.digest = ExpectedDigest();
    Run();
    EXPECT_THAT(hasher.followed, ElementsAre(kTempPath));
    EXPECT_TRUE(hasher.hashed.empty());
    ASSERT_FALSE(hasher.grown.empty());
    EXPECT_TRUE(std::is_sorted(hasher.grown.begin(), hasher.grown.end()));
    EXPECT_EQ(hasher.grown.back(), kLength);
    EXPECT_EQ(hasher.finishedAt, kLength);
    EXPECT_TRUE(Saved(kLength));
}

TEST_F(PinnedWorkerTest, FollowingStartsAfterARangeIgnoringServerEmptiedTheFile) {
    files.Put(kTempPath, 1000);
    Serve(ProbeAnswer(kLength), WholeAnswer(kLength));
    hasher.follows = true;
    hasher.digest = ExpectedDigest();
    Run();
    // Counted from the emptied file: the first chunk alone, not 1000 more.
    ASSERT_FALSE(hasher.grown.empty());
    EXPECT_LE(hasher.grown.front(), 16384u);
    EXPECT_TRUE(Saved(kLength));
}

TEST_F(PinnedWorkerTest, AnAlreadyCompleteFileIsHashedWhole) {
    files.Put(kTempPath, kLength);
    Serve(ProbeAnswer(kLength), With(ErrorAnswer(416), [](auto& s) { s.contentRange = L"bytes */50000"; }));
    hasher.follows = true;
    hasher.digest = ExpectedDigest();
    Run();
    EXPECT_TRUE(hasher.followed.empty());
    EXPECT_THAT(hasher.hashed, ElementsAre(kTempPath));
    EXPECT_TRUE(Saved(kLength));
}

TEST_F(WorkerTest, WithoutAPinNothingIsHashed) {
    FakeHasher hasher;
    env.hasher = &hasher;
    Serve(ProbeAnswer(kLength), WholeAnswer(kLength));
    Run();
    EXPECT_TRUE(hasher.hashed.empty());
    EXPECT_TRUE(Saved(kLength));
}

}  // namespace
}  // namespace cveltrix::test
