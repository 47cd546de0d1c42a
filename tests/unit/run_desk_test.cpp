// The window's side of a run: its states, what each event leads to and
// what the worker then sees, a close at any moment, and the asks and tells
// between the two threads over a fake message pump.
#include "core/run_desk.h"

#include <gtest/gtest.h>

#include <array>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "core/run_guard.h"
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

class RunDeskTest : public testing::Test {
protected:
    std::shared_ptr<RunGuard> StartRun() {
        auto run = std::make_shared<RunGuard>(desk, files);
        desk->RunStarted(run);
        return run;
    }

    EventLog log;
    FakeRunWindow window{log};
    FakeFileSystem files{log};
    FakePump pump;
    std::vector<std::wstring> traced;
    std::shared_ptr<RunDesk> desk = std::make_shared<RunDesk>(
        window, [this] { pump.Post(); }, [this](const std::wstring& line) { traced.push_back(line); });
};

// ---- The states, event by event

enum class Event { Close, Cancel, RunEnds, GiveUp, QueuedStart };

struct Row {
    RunState state;
    Event event;
    RunState next;
    // What the worker sees next: a box it asks for is shown; a chunk it
    // writes lands in the temp file.
    bool boxShown;
    bool bytesLand;
};

using S = RunState;
using E = Event;
constexpr std::array kRows{
    Row{S::Idle, E::Close, S::Closing, false, false},
    Row{S::Idle, E::Cancel, S::Idle, false, false},
    Row{S::Idle, E::RunEnds, S::Idle, false, false},
    Row{S::Idle, E::GiveUp, S::Idle, false, false},
    Row{S::Idle, E::QueuedStart, S::Idle, false, false},
    Row{S::Running, E::Close, S::Closing, false, false},
    Row{S::Running, E::Cancel, S::Cancelling, false, false},
    Row{S::Running, E::RunEnds, S::Idle, false, false},
    Row{S::Running, E::GiveUp, S::Running, true, true},
    Row{S::Running, E::QueuedStart, S::Running, true, true},
    Row{S::Released, E::Close, S::Closing, false, false},
    Row{S::Released, E::Cancel, S::Cancelling, false, false},
    Row{S::Released, E::RunEnds, S::Idle, false, false},
    Row{S::Released, E::GiveUp, S::Released, true, true},
    Row{S::Released, E::QueuedStart, S::StartQueued, true, true},
    Row{S::StartQueued, E::Close, S::Closing, false, false},
    Row{S::StartQueued, E::Cancel, S::Cancelling, false, false},
    Row{S::StartQueued, E::RunEnds, S::StartQueued, false, false},
    Row{S::StartQueued, E::GiveUp, S::StartQueued, true, true},
    Row{S::StartQueued, E::QueuedStart, S::StartQueued, true, true},
    Row{S::Cancelling, E::Close, S::Closing, false, false},
    Row{S::Cancelling, E::Cancel, S::Cancelling, false, false},
    Row{S::Cancelling, E::RunEnds, S::Idle, false, false},
    Row{S::Cancelling, E::GiveUp, S::Idle, false, false},
    Row{S::Cancelling, E::QueuedStart, S::Cancelling, false, false},
    Row{S::SavePromised, E::Close, S::Closing, false, false},
    // The save step goes on; only a wait of the move ends.
    Row{S::SavePromised, E::Cancel, S::SavePromised, true, false},
    Row{S::SavePromised, E::RunEnds, S::Idle, false, false},
    Row{S::SavePromised, E::GiveUp, S::SavePromised, true, true},
    Row{S::SavePromised, E::QueuedStart, S::SavePromised, true, true},
    Row{S::Closing, E::Close, S::Closing, false, false},
    Row{S::Closing, E::Cancel, S::Closing, false, false},
    Row{S::Closing, E::RunEnds, S::Closing, false, false},
    Row{S::Closing, E::GiveUp, S::Closing, false, false},
    Row{S::Closing, E::QueuedStart, S::Closing, false, false},
};

// Each state is reached as the window reaches it, its run asking from the
// window thread itself (served at once there).
void Reach(RunDesk& desk, const std::shared_ptr<RunGuard>& started, RunState state) {
    if (state == S::Idle) return;
    if (state == S::Closing) {
        desk.Close();
        return;
    }
    RunGuard& run = *started;
    desk.RunStarted(started);
    if (state == S::Released || state == S::StartQueued) run.ReportAndRelease(msg::ServerUnreachable);
    if (state == S::StartQueued) desk.QueueStart();
    if (state == S::Cancelling) desk.Cancel();
    if (state == S::SavePromised) run.ShowMessage(msg::DownloadComplete, BoxKind::OkInformation);
}

// Also the check that the code follows the table at the top of run_desk.h:
// every change here passes its debug-build check.
TEST_F(RunDeskTest, EachStateTakesEachEventToTheStateTheTableNames) {
    const std::wstring path = L"C:\\Tools\\file_temp";
    for (const Row& row : kRows) {
        SCOPED_TRACE(testing::Message() << RunStateName(row.state).c_str() << " event " << static_cast<int>(row.event));
        FakeRunWindow rowWindow{log};
        FakeFileSystem rowFiles{log};
        auto rowDesk = std::make_shared<RunDesk>(rowWindow, [] {}, [](const std::wstring&) {});
        const auto started = std::make_shared<RunGuard>(rowDesk, rowFiles);
        RunGuard& run = *started;
        Reach(*rowDesk, started, row.state);
        const auto file = run.OpenAlways(path);  // nothing while no run is the window's
        ASSERT_EQ(rowDesk->State(), row.state);
        switch (row.event) {
            case E::Close: rowDesk->Close(); break;
            case E::Cancel: rowDesk->Cancel(); break;
            case E::RunEnds: run.ResetIdleControls(); break;
            case E::GiveUp: rowDesk->GiveUpStuckRun(); break;
            case E::QueuedStart: rowDesk->QueueStart(); break;
        }
        EXPECT_EQ(rowDesk->State(), row.next);
        const std::size_t shownBefore = rowWindow.Messages().size();
        EXPECT_EQ(run.ShowMessage(msg::Disconnected, BoxKind::Ok) != 0, row.boxShown);
        EXPECT_EQ(rowWindow.Messages().size() - shownBefore, row.boxShown ? 1u : 0u);
        const std::array<std::byte, 10> chunk{};
        EXPECT_EQ(file && file->Write(chunk) == chunk.size(), row.bytesLand);
    }
}

// Only the end or a give-up returns the window to idle, each once; the
// queued Start goes ahead after the end, once no box of the user's is open.
TEST_F(RunDeskTest, AQueuedStartGoesAheadOnceTheRunHasEndedAndTheUsersBoxIsClosed) {
    const auto run = StartRun();
    run->ReportAndRelease(msg::ServerUnreachable);
    ASSERT_TRUE(desk->QueueStart());
    EXPECT_FALSE(desk->TakeQueuedStart());  // the run still ends
    desk->UserBoxOpening();                 // the version box
    run->ResetIdleControls();
    EXPECT_EQ(window.Resets(), 1);
    EXPECT_FALSE(desk->TakeQueuedStart());
    desk->UserBoxClosed();
    EXPECT_TRUE(desk->TakeQueuedStart());
    EXPECT_FALSE(desk->TakeQueuedStart());
    EXPECT_EQ(desk->State(), RunState::Idle);
    EXPECT_EQ(traced.back(), L"run: start queued -> idle (the queued Start goes ahead)");
}

// The window is disabled under a box of the run's: a Cancel that still
// gets there (a posted click) leaves the answer to decide.
TEST_F(RunDeskTest, ACancelThatReachesTheWindowUnderMessage8LeavesTheSaveStepPromised) {
    struct CancellingWindow final : FakeRunWindow {
        using FakeRunWindow::FakeRunWindow;
        int ShowMessage(CatalogueId id, BoxKind kind) override {
            desk->Cancel();
            return FakeRunWindow::ShowMessage(id, kind);
        }
        RunDesk* desk = nullptr;
    } cancelling{log};
    auto cancellingDesk = std::make_shared<RunDesk>(cancelling, [] {}, [](const std::wstring&) {});
    cancelling.desk = cancellingDesk.get();
    const auto run = std::make_shared<RunGuard>(cancellingDesk, files);
    cancellingDesk->RunStarted(run);
    EXPECT_EQ(run->ShowMessage(msg::DownloadComplete, BoxKind::OkInformation), 1);
    EXPECT_EQ(cancellingDesk->State(), RunState::SavePromised);
    EXPECT_FALSE(run->CancelFlag().load());
}

// ---- A close at any moment, against a worker on a thread of its own

// A whole run over the fakes on a second thread, asking and telling through
// the desk, as the window's worker does.
class ThreadedRun {
public:
    ThreadedRun(const std::shared_ptr<RunDesk>& desk, FakeRunWindow& window)
        : run_(std::make_shared<RunGuard>(desk, files_)) {
        window.folderChoice = kFolder;
        http_.Answer(ProbeAnswer(kLength));
        http_.Answer(WholeAnswer(kLength));
        desk->RunStarted(run_);
        worker_ = std::async(std::launch::async, [this] {
            std::wstring chosenFolder;
            WorkerEnvironment env{*run_, http_, *run_, run_->CancelFlag(), kUrl, kTempPath, chosenFolder, ProxyConfig{}};
            DownloadWorker(env);
        });
    }
    ~ThreadedRun() { Ended(); }
    bool Ended() { return worker_.valid() && worker_.wait_for(std::chrono::seconds(20)) == std::future_status::ready; }
    FakeFileSystem& Files() { return files_; }

private:
    EventLog log_;
    FakeHttpClient http_{log_};
    FakeFileSystem files_{log_};
    std::shared_ptr<RunGuard> run_;
    std::future<void> worker_;
};

// Where the window is as a close comes (WM_CLOSE, Esc, Exit's Yes).
enum class CloseDuring { Message8OnScreen, Message8BehindTheExitQuestion, PickerOnScreen };

class CloseTest : public RunDeskTest, public testing::WithParamInterface<CloseDuring> {};

// A window whose close comes inside the run's box or picker, as a WM_CLOSE
// is dispatched by their modal loop: the desk must not wait for the call
// that showed them, which is further down this very thread's stack.
class ClosingWindow final : public FakeRunWindow {
public:
    using FakeRunWindow::FakeRunWindow;
    int ShowMessage(CatalogueId id, BoxKind kind) override {
        if (closeInBox && id == msg::DownloadComplete) dismissAsked = desk->Close();
        return FakeRunWindow::ShowMessage(id, kind);  // dismissed: OK, as a box returns
    }
    std::optional<std::wstring> ChooseSaveFolder() override {
        if (closeInPicker) dismissAsked = desk->Close();
        return FakeRunWindow::ChooseSaveFolder();
    }
    std::shared_ptr<RunDesk> desk;
    bool closeInBox = false;
    bool closeInPicker = false;
    bool dismissAsked = false;
};

TEST_P(CloseTest, EndsTheRunWithoutASaveAndWithoutWaitingForIt) {
    ClosingWindow closing{log};
    auto closingDesk = std::make_shared<RunDesk>(closing, [this] { pump.Post(); }, [](const std::wstring&) {});
    closing.desk = closingDesk;
    closing.closeInBox = GetParam() == CloseDuring::Message8OnScreen;
    closing.closeInPicker = GetParam() == CloseDuring::PickerOnScreen;
    if (GetParam() == CloseDuring::Message8BehindTheExitQuestion) closingDesk->UserBoxOpening();
    // The worker's answers are dropped: message 8 never leads to the picker,
    // a picker's folder is never used.
    if (GetParam() == CloseDuring::PickerOnScreen) closing.AnswerTo(msg::DownloadComplete, 1);
    ThreadedRun run(closingDesk, closing);
    while (closingDesk->State() != RunState::Closing) {
        pump.Next();
        if (GetParam() == CloseDuring::Message8BehindTheExitQuestion && closingDesk->AsksWaiting() > 0) {
            // The run's message 8 waits behind the user's box: the user answers Yes.
            closingDesk->Close();
            closingDesk->UserBoxClosed();
        } else {
            closingDesk->Serve();
        }
    }
    EXPECT_TRUE(run.Ended()) << "the worker was left waiting for an answer";
    EXPECT_EQ(closing.dismissAsked, GetParam() != CloseDuring::Message8BehindTheExitQuestion);
    EXPECT_EQ(closing.FolderPrompts(), GetParam() == CloseDuring::PickerOnScreen ? 1 : 0);
    EXPECT_FALSE(run.Files().Has(kDestination));
    EXPECT_EQ(run.Files().SizeOf(kTempPath), kLength);
    EXPECT_EQ(closing.Resets(), 0);  // the window is gone: nothing reaches it
}

INSTANTIATE_TEST_SUITE_P(Moments, CloseTest,
                         testing::Values(CloseDuring::Message8OnScreen, CloseDuring::Message8BehindTheExitQuestion,
                                         CloseDuring::PickerOnScreen));

// The version box is open: the run's box waits for it to close.
TEST_F(RunDeskTest, AnAskWaitsWhileTheUsersBoxIsOpen) {
    const auto run = StartRun();
    desk->UserBoxOpening();
    auto asked = std::async(std::launch::async, [&] { return run->ShowMessage(msg::Disconnected, BoxKind::Ok); });
    pump.Next();
    desk->Serve();  // heard inside the user's box's modal loop
    EXPECT_TRUE(window.Messages().empty());
    desk->UserBoxClosed();
    EXPECT_EQ(asked.get(), 1);
    EXPECT_EQ(window.MessageIds(), std::vector<CatalogueId>{msg::Disconnected});
}

// The tells are taken even while the user's box is open; progress wakes
// the window once until the window takes the newest.
TEST_F(RunDeskTest, TellsAreServedThroughABoxAndProgressIsCoalesced) {
    const auto run = StartRun();
    desk->UserBoxOpening();
    std::thread([&] {
        run->SetProgressRange(kLength);
        run->ShowProgress(L"1%", 500);
        run->ShowProgress(L"2%", 1000);
    }).join();
    EXPECT_EQ(pump.Waiting(), 2);
    desk->Serve();
    EXPECT_EQ(window.Ranges(), std::vector<std::uint64_t>{kLength});
    ASSERT_EQ(window.ProgressShown().size(), 1u);
    EXPECT_EQ(window.ProgressShown()[0].text, L"2%");
    std::thread([&] { run->ShowProgress(L"3%", 1500); }).join();  // not yet painted: no new wake
    EXPECT_EQ(pump.Waiting(), 2);
    const ToldProgress newest = desk->TakeProgress();
    EXPECT_EQ(newest.text, L"3%");
    EXPECT_EQ(newest.position, 1500u);
    std::thread([&] {
        run->ShowProgress(L"4%", 2000);
        run->ResetIdleControls();
    }).join();
    EXPECT_EQ(pump.Waiting(), 4);
    desk->Serve();
    EXPECT_EQ(window.ProgressShown().back().text, L"4%");
    EXPECT_EQ(window.Resets(), 1);
    EXPECT_EQ(desk->State(), RunState::Idle);
    desk->UserBoxClosed();
}

// A whole run on its own thread: its boxes and picker asked through the
// window thread, behind the version box the user reads meanwhile.
TEST_F(RunDeskTest, ARunOnItsOwnThreadAsksAndTellsThroughTheWindowThread) {
    desk->UserBoxOpening();
    ThreadedRun run(desk, window);
    for (int served = 0; window.Resets() == 0; ++served) {
        pump.Next();
        if (served == 0) desk->UserBoxClosed();
        desk->Serve();
    }
    EXPECT_TRUE(run.Ended());
    EXPECT_EQ(window.MessageIds(), std::vector<CatalogueId>{msg::DownloadComplete});
    EXPECT_EQ(window.FolderPrompts(), 1);
    EXPECT_TRUE(run.Files().Has(kDestination));
    EXPECT_EQ(desk->State(), RunState::Idle);
    EXPECT_EQ(traced, (std::vector<std::wstring>{L"run: idle -> running (Start)",
                                                 L"run: running -> save promised (message 8 answered)",
                                                 L"run: save promised -> idle (the run ended)"}));
}

}  // namespace
}  // namespace cveltrix::test
