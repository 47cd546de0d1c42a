// The window's side of a run over a fake message pump: the record of the
// run and the Start queued behind it, the promise of the save step, the
// give-up rule, the tells, and no two boxes of the tool at once.
#include "core/run_desk.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "core/run_worker.h"
#include "run_worker_fixture.h"

namespace cveltrix::test {
namespace {

// The window thread's message queue: the desk's wakes, posted from any
// thread and taken by the test's own thread, which stands for the window
// thread.
class FakePump {
public:
    void Post() {
        const std::lock_guard lock(mutex_);
        ++posted_;
        wake_.notify_all();
    }
    void Next() {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [this] { return taken_ < posted_; });
        ++taken_;
    }
    int Waiting() {
        const std::lock_guard lock(mutex_);
        return posted_ - taken_;
    }

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    int posted_ = 0;
    int taken_ = 0;
};

// What the window does with the tells: records them.
struct ToldWindow final : RunDesk::Tells {
    void RangeTold(std::uint64_t length) override { ranges.push_back(length); }
    void ProgressTold() override { ++progressTold; }
    void EndTold() override { ++ended; }

    std::vector<std::uint64_t> ranges;
    int progressTold = 0;
    int ended = 0;
};

class RunDeskTest : public testing::Test {
protected:
    // A worker asking for a box, on a thread of its own.
    void AskFromWorker() {
        worker_ = std::thread([this] { asked_ = desk.Ask([this] { ++shown; }); });
        pump.Next();
    }
    bool AnswerReachesWorker() {
        worker_.join();
        return asked_;
    }
    // The run's message 8, answered with `answer` (0: not shown), with the
    // give-up timer's verdict taken while the box is on screen.
    void AskMessage8FromWorker(int answer) {
        worker_ = std::thread([this, answer] {
            asked_ = desk.AskBox(msg::DownloadComplete, [this, answer] {
                verdictDuringBox = desk.GiveUpStuckRun();
                return answer;
            }) == answer;
        });
        pump.Next();
    }
    std::shared_ptr<RunGuard> StartRun() {
        auto run = std::make_shared<RunGuard>(runWindow, runFiles);
        desk.RunStarted(run);
        return run;
    }

    FakePump pump;
    ToldWindow told;
    RunDesk desk{[this] { pump.Post(); }, told};
    int shown = 0;  // window thread only
    std::optional<GiveUpOutcome> verdictDuringBox;
    EventLog log;
    FakeRunWindow runWindow{log};
    FakeFileSystem runFiles{log};

private:
    std::thread worker_;
    bool asked_ = false;
};

TEST_F(RunDeskTest, AnAskIsServedAtOnceWhenNoBoxIsOpen) {
    AskFromWorker();
    desk.Serve();
    EXPECT_TRUE(AnswerReachesWorker());
    EXPECT_EQ(shown, 1);
}

// The version box is open: the run's box waits for it to close.
TEST_F(RunDeskTest, AnAskWaitsWhileTheUsersBoxIsOpen) {
    desk.UserBoxOpening();
    AskFromWorker();
    desk.Serve();  // heard inside the user's box's modal loop
    EXPECT_EQ(shown, 0);
    desk.UserBoxClosed(false);
    EXPECT_TRUE(AnswerReachesWorker());
    EXPECT_EQ(shown, 1);
}

TEST_F(RunDeskTest, AnAskWaitingForTheExitQuestionIsDroppedWhenTheUserLeaves) {
    desk.UserBoxOpening();
    AskFromWorker();
    desk.Serve();
    desk.UserBoxClosed(true);
    EXPECT_FALSE(AnswerReachesWorker());
    EXPECT_EQ(shown, 0);
}

// The window goes during a run (Esc, Exit): the run is cancelled and given
// up, so nothing of it reaches the window from then on.
TEST_F(RunDeskTest, AWindowThatGoesDropsWhatWaitsAndEveryLaterAsk) {
    const auto run = StartRun();
    desk.UserBoxOpening();
    AskFromWorker();
    desk.Close();
    EXPECT_FALSE(AnswerReachesWorker());
    EXPECT_FALSE(desk.Ask([this] { ++shown; }));
    EXPECT_EQ(shown, 0);
    EXPECT_TRUE(run->CancelFlag().load());
    run->YieldTime();
    run->ResetIdleControls();
    EXPECT_EQ(runWindow.Yields(), 0);
    EXPECT_EQ(runWindow.Resets(), 0);
}

// A Start clicked while the last run still goes through its end step is
// neither lost nor run twice, nor run over a box of the user's, nor after
// a Cancel or the user's Exit.
TEST_F(RunDeskTest, AStartClickedWhileTheRunEndsWaitsForItsEndAndTheUsersBox) {
    struct Case {
        const char* name;
        bool boxOpen;      // the version box is open as the run ends
        bool cancel;       // Cancel clicked after the Start
        bool exiting;      // the user's box was the Exit question, answered Yes
        bool startsAtEnd;  // the queued Start goes ahead at the run's end
        bool startsAfterBox;
    };
    const Case cases[] = {
        {"queued", false, false, false, true, false},
        {"cancelled", false, true, false, false, false},
        {"behind the user's box", true, false, false, false, true},
        {"dropped by Exit", true, false, true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartRun();
        EXPECT_TRUE(desk.Busy());
        desk.QueueStart();
        EXPECT_FALSE(desk.TakeQueuedStart());  // the run has not ended
        if (c.cancel) desk.Cancel();
        if (c.boxOpen) desk.UserBoxOpening();
        desk.RunEnded();
        EXPECT_FALSE(desk.Busy());
        EXPECT_EQ(desk.TakeQueuedStart(), c.startsAtEnd);
        if (c.boxOpen) desk.UserBoxClosed(c.exiting);
        EXPECT_EQ(desk.TakeQueuedStart(), c.startsAfterBox);
        EXPECT_FALSE(desk.TakeQueuedStart());  // once
    }
}

// Message 8 answered promises the save step on the window thread, before a
// give-up timer queued behind the box can run: from then on no Cancel
// silences the run and no give-up ends it. A box on screen puts the
// give-up off; message 8 not shown (a Cancel came first) promises nothing.
TEST_F(RunDeskTest, Message8AnsweredPromisesTheSaveStepAndNoGiveUpEndsTheRun) {
    for (const int answer : {1, 0}) {
        SCOPED_TRACE(answer);
        const auto run = StartRun();
        AskMessage8FromWorker(answer);
        desk.Cancel();
        desk.Serve();
        EXPECT_TRUE(AnswerReachesWorker());
        EXPECT_EQ(verdictDuringBox, GiveUpOutcome::Later);
        EXPECT_EQ(run->SaveStepPromised(), answer != 0);
        EXPECT_EQ(run->Cancelled(), answer == 0);
        EXPECT_EQ(desk.GiveUpStuckRun(), answer != 0 ? GiveUpOutcome::NotNeeded : GiveUpOutcome::Idle);
        runWindow.folderChoice = kFolder;
        EXPECT_EQ(run->ChooseSaveFolder().has_value(), answer != 0);
        desk.RunEnded();
    }
}

TEST_F(RunDeskTest, ARunThatEndedByItselfIsNotGivenUp) {
    const auto run = StartRun();
    run->ResetIdleControls();
    desk.Cancel();
    EXPECT_EQ(desk.GiveUpStuckRun(), GiveUpOutcome::NotNeeded);
}

// The tells are taken even while the user's box is open; progress wakes
// the window once until the window takes the newest.
TEST_F(RunDeskTest, TellsAreServedThroughABoxAndProgressIsCoalesced) {
    desk.UserBoxOpening();
    desk.TellRange(kLength);
    desk.TellProgress(L"1%", 500);
    desk.TellProgress(L"2%", 1000);
    EXPECT_EQ(pump.Waiting(), 2);
    desk.Serve();
    EXPECT_EQ(told.ranges, std::vector<std::uint64_t>{kLength});
    EXPECT_EQ(told.progressTold, 1);
    desk.TellProgress(L"3%", 1500);  // not yet painted: no new wake
    EXPECT_EQ(pump.Waiting(), 2);
    const ToldProgress newest = desk.TakeProgress();
    EXPECT_EQ(newest.text, L"3%");
    EXPECT_EQ(newest.position, 1500u);
    desk.TellProgress(L"4%", 2000);
    desk.TellEnded();
    EXPECT_EQ(pump.Waiting(), 4);
    desk.Serve();
    EXPECT_EQ(told.progressTold, 2);
    EXPECT_EQ(told.ended, 1);
    desk.UserBoxClosed(false);
}

// A whole run on a second thread, its boxes and picker asked through the
// desk and its end posted, against a window thread that serves them.
class DeskWindow final : public FakeRunWindow {
public:
    DeskWindow(EventLog& log, RunDesk& desk) : FakeRunWindow(log), desk_(desk) {}
    int ShowMessage(CatalogueId id, BoxKind kind) override {
        return desk_.AskBox(id, [&] { return FakeRunWindow::ShowMessage(id, kind); });
    }
    std::optional<std::wstring> ChooseSaveFolder() override {
        std::optional<std::wstring> folder;
        desk_.Ask([&] { folder = FakeRunWindow::ChooseSaveFolder(); });
        return folder;
    }
    void ResetIdleControls() override {
        FakeRunWindow::ResetIdleControls();
        desk_.TellEnded();
    }

private:
    RunDesk& desk_;
};

TEST_F(RunDeskTest, ARunOnItsOwnThreadAsksAndTellsThroughTheWindowThread) {
    FakeHttpClient http{log};
    FakeFileSystem files{log};
    DeskWindow window{log, desk};
    window.folderChoice = kFolder;
    http.Answer(ProbeAnswer(kLength));
    http.Answer(WholeAnswer(kLength));
    std::wstring chosenFolder;
    WorkerEnvironment env{window, http, files, window.cancelRequested, kUrl, kTempPath, chosenFolder, ProxyConfig{}};
    StartRun();
    std::thread worker([&] { DownloadWorker(env); });
    desk.UserBoxOpening();  // the user reads the version box meanwhile
    for (int served = 0; told.ended == 0; ++served) {
        pump.Next();
        if (served == 0) desk.UserBoxClosed(false);
        desk.Serve();
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
