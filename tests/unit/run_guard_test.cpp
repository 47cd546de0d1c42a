// The guard between a run and the window: what a cancelled run, and one the
// window gave up on, may still do with its files and hasher.
#include "core/run_guard.h"

#include <gtest/gtest.h>

#include <array>
#include <latch>

#include "fakes.h"

namespace cveltrix::test {
namespace {

const std::wstring kPath = L"C:\\Tools\\file_temp";

class RunGuardTest : public testing::Test {
protected:
    std::uint64_t WriteChunk(File& file) {
        const std::array<std::byte, 10> chunk{};
        return file.Write(chunk);
    }

    // A run the window follows, then cancels and gives up on.
    void GiveUp(RunDesk& runDesk) {
        runDesk.Cancel();
        ASSERT_EQ(runDesk.GiveUpStuckRun(), GiveUpOutcome::Idle);
    }

    EventLog log;
    FakeFileSystem files{log};
    FakeRunWindow window{log};
    FakeHasher hasher;
    std::shared_ptr<RunDesk> desk = std::make_shared<RunDesk>(window, [] {}, [](const std::wstring&) {});
    std::shared_ptr<RunGuard> started = std::make_shared<RunGuard>(desk, files, &hasher);
    RunGuard& guard = *started;

    void SetUp() override { desk->RunStarted(started); }
};

// Cancel silences the run and stops the writes; a run that then ends by
// itself still returns the window to idle.
TEST_F(RunGuardTest, CancelledRunWritesNothingAndShowsNothing) {
    const auto file = guard.OpenAlways(kPath);
    ASSERT_EQ(WriteChunk(*file), 10u);
    desk->Cancel();
    EXPECT_TRUE(guard.CancelFlag().load());
    EXPECT_EQ(WriteChunk(*file), 0u);
    EXPECT_EQ(file->Size(), 10u);
    window.folderChoice = L"D:\\";
    EXPECT_EQ(guard.ChooseSaveFolder(), std::nullopt);
    guard.ShowMessage(msg::Disconnected, BoxKind::Ok);
    guard.ReportAndRelease(msg::ServerUnreachable);
    EXPECT_FALSE(file->MoveReplacing(L"D:\\file"));
    EXPECT_FALSE(guard.WriteText(L"D:\\file:Zone.Identifier", L"x"));
    guard.ResetIdleControls();
    EXPECT_TRUE(window.Messages().empty());
    EXPECT_TRUE(window.Released().empty());
    EXPECT_EQ(window.FolderPrompts(), 0);
    EXPECT_EQ(window.Resets(), 1);
    EXPECT_EQ(desk->GiveUpStuckRun(), GiveUpOutcome::NotNeeded);
}

// A run given up on closes its temp file at once and never reaches the
// window again, not even at its end.
TEST_F(RunGuardTest, RunGivenUpOnLeavesWindowAndFileAlone) {
    const auto file = guard.OpenAlways(kPath);
    ASSERT_EQ(WriteChunk(*file), 10u);
    GiveUp(*desk);
    EXPECT_EQ(files.files.at(kPath).openHandles, 0);
    EXPECT_EQ(file->Size(), std::nullopt);
    EXPECT_FALSE(file->TruncateTo(0));
    EXPECT_EQ(guard.OpenAlways(kPath), nullptr);
    guard.SetProgressRange(100);
    guard.ShowProgress(L"20%", 20);
    guard.ResetIdleControls();
    EXPECT_TRUE(window.Ranges().empty());
    EXPECT_TRUE(window.ProgressShown().empty());
    EXPECT_EQ(window.Resets(), 0);
    EXPECT_EQ(files.SizeOf(kPath), 10u);
}

// The hasher following the temp file lets go of it too: a quick next run
// must be able to move the file.
TEST_F(RunGuardTest, RunGivenUpOnReleasesTheHashersHandle) {
    hasher.follows = true;
    hasher.digest = Sha256Digest{1};
    const auto follower = guard.Follow(kPath);
    ASSERT_TRUE(follower);
    EXPECT_EQ(hasher.openFollowers, 1);
    GiveUp(*desk);
    EXPECT_EQ(hasher.openFollowers, 0);
    EXPECT_EQ(follower->Finish(10), std::nullopt);
    EXPECT_EQ(guard.Follow(kPath), nullptr);
    EXPECT_EQ(guard.Sha256OfFile(kPath), std::nullopt);
}

// A temp file on a slow share: each write waits for the test's word.
class SlowFileSystem final : public FileSystem {
public:
    explicit SlowFileSystem(FileSystem& files) : files_(files) {}
    std::latch writing{1};
    std::latch release{1};

    std::unique_ptr<File> OpenAlways(const std::wstring& path) override {
        return std::make_unique<SlowFile>(*this, files_.OpenAlways(path));
    }
    bool Delete(const std::wstring& path) override { return files_.Delete(path); }
    std::optional<std::wstring> ReadText(const std::wstring& path) override { return files_.ReadText(path); }
    bool WriteText(const std::wstring& path, const std::wstring& text) override {
        return files_.WriteText(path, text);
    }
    std::uint32_t LastError() const override { return files_.LastError(); }

private:
    class SlowFile final : public File {
    public:
        SlowFile(SlowFileSystem& owner, std::unique_ptr<File> file) : owner_(owner), file_(std::move(file)) {}
        std::optional<std::uint64_t> Size() override { return file_->Size(); }
        bool SeekToEnd() override { return file_->SeekToEnd(); }
        std::uint64_t Write(std::span<const std::byte> data) override {
            owner_.writing.count_down();
            owner_.release.wait();
            return file_->Write(data);
        }
        bool TruncateTo(std::uint64_t size) override { return file_->TruncateTo(size); }
        bool MoveReplacing(const std::wstring& to) override { return file_->MoveReplacing(to); }
        std::uint32_t LastError() const override { return file_->LastError(); }

    private:
        SlowFileSystem& owner_;
        std::unique_ptr<File> file_;
    };

    FileSystem& files_;
};

// Cancel must never freeze the window behind a write: the give-up returns
// while the write still runs, and the write closes the file as it returns.
TEST_F(RunGuardTest, GiveUpDuringASlowWriteReturnsAtOnce) {
    SlowFileSystem slow(files);
    auto slowDesk = std::make_shared<RunDesk>(window, [] {}, [](const std::wstring&) {});
    const auto slowGuard = std::make_shared<RunGuard>(slowDesk, slow);
    slowDesk->RunStarted(slowGuard);
    const auto file = slowGuard->OpenAlways(kPath);
    ASSERT_TRUE(file);
    std::thread writer([&] { WriteChunk(*file); });
    slow.writing.wait();
    // This thread is the window's: a give-up that waited behind the write
    // would never return here.
    slowDesk->Cancel();
    EXPECT_EQ(slowDesk->GiveUpStuckRun(), GiveUpOutcome::Idle);
    EXPECT_EQ(files.files.at(kPath).openHandles, 1);
    slow.release.count_down();
    writer.join();
    EXPECT_EQ(files.files.at(kPath).openHandles, 0);
    EXPECT_EQ(file->Size(), std::nullopt);
}

}  // namespace
}  // namespace cveltrix::test
