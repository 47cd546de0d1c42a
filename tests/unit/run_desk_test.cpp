// The window's side of a run over a fake message pump: the record of the
// run, and no two boxes of the tool at once.
#include "core/run_desk.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "core/run_worker.h"
#include "run_worker_fixture.h"

namespace cveltrix::test {
namespace {

// The window thread's message queue: posted from any thread, taken by the
// test's own thread, which stands for the window thread.
class FakePump {
public:
    enum class Message { ServeAsks, RunEnded };

    void Post(Message message) {
        const std::lock_guard lock(mutex_);
        queue_.push_back(message);
        posted_.notify_all();
    }
    Message Next() {
        std::unique_lock lock(mutex_);
        posted_.wait(lock, [this] { return !queue_.empty(); });
        const Message message = queue_.front();
        queue_.pop_front();
        return message;
    }

private:
    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<Message> queue_;
};

class RunDeskTest : public testing::Test {
protected:
    // A worker asking for a box, on a thread of its own.
    void AskFromWorker() {
        worker_ = std::thread([this] { asked_ = desk.Ask([this] { ++shown; }); });
        ASSERT_EQ(pump.Next(), FakePump::Message::ServeAsks);
    }
    bool AnswerReachesWorker() {
        worker_.join();
        return asked_;
    }

    FakePump pump;
    RunDesk desk{[this] { pump.Post(FakePump::Message::ServeAsks); }};
    int shown = 0;  // window thread only

private:
    std::thread worker_;
    bool asked_ = false;
};

TEST_F(RunDeskTest, AnAskIsServedAtOnceWhenNoBoxIsOpen) {
    AskFromWorker();
    desk.ServeAsks();
    EXPECT_TRUE(AnswerReachesWorker());
    EXPECT_EQ(shown, 1);
}

// The version box is open: the run's box waits for it to close.
TEST_F(RunDeskTest, AnAskWaitsWhileTheUsersBoxIsOpen) {
    desk.UserBoxOpening();
    AskFromWorker();
    desk.ServeAsks();  // heard inside the user's box's modal loop
    EXPECT_EQ(shown, 0);
    desk.UserBoxClosed(false);
    EXPECT_TRUE(AnswerReachesWorker());
    EXPECT_EQ(shown, 1);
}

TEST_F(RunDeskTest, AnAskWaitingForTheExitQuestionIsDroppedWhenTheUserLeaves) {
    desk.UserBoxOpening();
    AskFromWorker();
    desk.ServeAsks();
    desk.UserBoxClosed(true);
    EXPECT_FALSE(AnswerReachesWorker());
    EXPECT_EQ(shown, 0);
}

TEST_F(RunDeskTest, AWindowThatGoesDropsWhatWaitsAndEveryLaterAsk) {
    desk.UserBoxOpening();
    AskFromWorker();
    desk.Close();
    EXPECT_FALSE(AnswerReachesWorker());
    EXPECT_FALSE(desk.Ask([this] { ++shown; }));
    EXPECT_EQ(shown, 0);
}

// Start clicked while the last run still goes through its end step is
// neither lost nor run twice: it goes ahead at that end, once.
TEST_F(RunDeskTest, AStartClickedWhileTheRunEndsGoesAheadAtItsEnd) {
    EXPECT_FALSE(desk.Busy());
    desk.RunStarted();
    EXPECT_TRUE(desk.Busy());
    desk.StartWhenEnded();
    EXPECT_TRUE(desk.RunEnded());
    EXPECT_FALSE(desk.Busy());
    desk.RunStarted();
    EXPECT_FALSE(desk.RunEnded());
}

// A whole run on a second thread, its boxes and picker asked through the
// desk and its end posted, against a window thread that serves them.
class DeskWindow final : public FakeRunWindow {
public:
    DeskWindow(EventLog& log, RunDesk& desk, FakePump& pump) : FakeRunWindow(log), desk_(desk), pump_(pump) {}
    int ShowMessage(CatalogueId id, BoxKind kind) override {
        int answer = 0;
        desk_.Ask([&] { answer = FakeRunWindow::ShowMessage(id, kind); });
        return answer;
    }
    std::optional<std::wstring> ChooseSaveFolder() override {
        std::optional<std::wstring> folder;
        desk_.Ask([&] { folder = FakeRunWindow::ChooseSaveFolder(); });
        return folder;
    }
    void ResetIdleControls() override {
        FakeRunWindow::ResetIdleControls();
        pump_.Post(FakePump::Message::RunEnded);
    }

private:
    RunDesk& desk_;
    FakePump& pump_;
};

TEST_F(RunDeskTest, ARunOnItsOwnThreadAsksAndTellsThroughTheWindowThread) {
    EventLog log;
    FakeHttpClient http{log};
    FakeFileSystem files{log};
    DeskWindow window{log, desk, pump};
    window.folderChoice = kFolder;
    http.Answer(ProbeAnswer(kLength));
    http.Answer(WholeAnswer(kLength));
    std::wstring chosenFolder;
    WorkerEnvironment env{window, http, files, window.cancelRequested, kUrl, kTempPath, chosenFolder, ProxyConfig{}};
    desk.RunStarted();
    std::thread worker([&] { DownloadWorker(env); });
    desk.UserBoxOpening();  // the user reads the version box meanwhile
    int served = 0;
    for (FakePump::Message message = pump.Next(); message != FakePump::Message::RunEnded; message = pump.Next()) {
        if (served++ == 0) desk.UserBoxClosed(false);
        desk.ServeAsks();
    }
    worker.join();
    desk.RunEnded();
    EXPECT_EQ(window.MessageIds(), std::vector<CatalogueId>{msg::DownloadComplete});
    EXPECT_EQ(window.FolderPrompts(), 1);
    EXPECT_TRUE(files.Has(kDestination));
    EXPECT_FALSE(desk.Busy());
}

}  // namespace
}  // namespace cveltrix::test
