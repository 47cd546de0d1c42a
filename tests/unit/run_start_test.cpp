#include <gmock/gmock.h>

#include "core/run_start.h"
#include "fakes.h"

namespace cveltrix::test {
namespace {

using testing::ElementsAre;

const std::wstring kTempPath = L"C:\\Tools\\Kelvrane_for_(K)QZ415_270[2.20]series_Installer.exe_temp";
const FakeRunWindow::Shown kAskResume{12, BoxKind::YesNo};
const FakeRunWindow::Shown kAskStartOver{13, BoxKind::YesNo};

class PrepareStartTest : public testing::Test {
protected:
    void TearDown() override {
        for (const auto& [path, data] : files.files) EXPECT_EQ(data.openHandles, 0);
        EXPECT_EQ(window.Resets(), 0);
    }

    bool Prepare() { return PrepareStart(window, files, kTempPath); }

    bool TempHolds(std::uint64_t size) const {
        return files.Has(kTempPath) && files.SizeOf(kTempPath) == size && files.HoldsPattern(kTempPath);
    }

    EventLog log;
    FakeFileSystem files{log};
    FakeRunWindow window{log};
};

TEST_F(PrepareStartTest, MissingTempFileIsCreatedEmptyWithoutAQuestion) {
    EXPECT_TRUE(Prepare());
    EXPECT_TRUE(window.Messages().empty());
    EXPECT_TRUE(TempHolds(0));
}

TEST_F(PrepareStartTest, EmptyTempFileStartsWithoutAQuestion) {
    files.Put(kTempPath, 0);
    EXPECT_TRUE(Prepare());
    EXPECT_TRUE(window.Messages().empty());
}

TEST_F(PrepareStartTest, YesToResumeKeepsTheFile) {
    files.Put(kTempPath, 1000);
    window.AnswerTo(12, kAnswerYes);
    EXPECT_TRUE(Prepare());
    EXPECT_THAT(window.Messages(), ElementsAre(kAskResume));
    EXPECT_TRUE(TempHolds(1000));
}

// The fake, like the platform, cannot delete a file that is still open.
TEST_F(PrepareStartTest, YesToStartOverDeletesTheFile) {
    files.Put(kTempPath, 1000);
    window.AnswerTo(13, kAnswerYes);
    EXPECT_TRUE(Prepare());
    EXPECT_THAT(window.Messages(), ElementsAre(kAskResume, kAskStartOver));
    EXPECT_FALSE(files.Has(kTempPath));
}

TEST_F(PrepareStartTest, NoToBothLeavesTheFileUntouched) {
    files.Put(kTempPath, 1000);
    EXPECT_FALSE(Prepare());
    EXPECT_THAT(window.Messages(), ElementsAre(kAskResume, kAskStartOver));
    EXPECT_TRUE(TempHolds(1000));
    EXPECT_EQ(FindEvent(log, "delete"), -1);
    EXPECT_EQ(FindEvent(log, "truncate"), -1);
}

TEST_F(PrepareStartTest, FileThatCannotBeDeletedIsEmptiedInstead) {
    files.Put(kTempPath, 1000);
    files.failDelete = true;
    window.AnswerTo(13, kAnswerYes);
    EXPECT_TRUE(Prepare());
    EXPECT_THAT(window.Messages(), ElementsAre(kAskResume, kAskStartOver));
    EXPECT_TRUE(TempHolds(0));
}

TEST_F(PrepareStartTest, FileThatCanBeNeitherDeletedNorEmptiedRefusesTheStart) {
    files.Put(kTempPath, 1000);
    files.failDelete = true;
    files.failTruncate = true;
    window.AnswerTo(13, kAnswerYes);
    EXPECT_FALSE(Prepare());
    EXPECT_THAT(window.Messages(), ElementsAre(kAskResume, kAskStartOver, FakeRunWindow::Shown{9, BoxKind::Ok}));
    EXPECT_TRUE(TempHolds(1000));
}

TEST_F(PrepareStartTest, TempFileThatCannotBeCreatedRefusesTheStart) {
    files.failOpen = true;
    EXPECT_FALSE(Prepare());
    EXPECT_THAT(window.Messages(), ElementsAre(FakeRunWindow::Shown{9, BoxKind::Ok}));
}

// A second copy started from the same folder: the first one's download is
// no fault of the disk, and nothing of it is touched or asked about.
TEST_F(PrepareStartTest, TempFileHeldByAnotherCopySaysSoAndAsksNothing) {
    files.Put(kTempPath, 1000);
    files.heldElsewhere.insert(kTempPath);
    EXPECT_FALSE(Prepare());
    EXPECT_THAT(window.Messages(), ElementsAre(FakeRunWindow::Shown{17, BoxKind::Ok}));
    EXPECT_TRUE(TempHolds(1000));
    EXPECT_EQ(FindEvent(log, "delete"), -1);
}

TEST_F(PrepareStartTest, LargeTempFileAsksLikeAnyOther) {
    files.PutUntracked(kTempPath, 5ull << 30);
    window.AnswerTo(12, kAnswerYes);
    EXPECT_TRUE(Prepare());
    EXPECT_THAT(window.Messages(), ElementsAre(kAskResume));
}

}  // namespace
}  // namespace cveltrix::test
