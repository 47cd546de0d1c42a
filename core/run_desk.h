// The main window's side of a download run, free of any window API: one
// state for the run as the window sees it, and the one gate every call of a
// run's worker into the window passes.
//
// The worker tells the window what happens (the length, progress, its end)
// and never waits for it; it asks (a message box, the folder picker), and
// the answer comes back to it as a value. Both wake the window thread, which
// takes everything waiting in Serve(): the tells at once, even inside a
// box's modal loop; an ask only while the user has no box of the window's
// own open (the Exit question, the version box, the proxy settings).
//
// The states, what may happen in each, and the state that follows:
//
// | state        | event                                   | next                            |
// |--------------|-----------------------------------------|---------------------------------|
// | Idle         | Start                                   | Running                         |
// |              | Close                                   | Closing                         |
// | Running      | the run's failure box answered (release)| Released                        |
// |              | message 8 answered                      | SavePromised                    |
// |              | Cancel                                  | Cancelling                      |
// |              | the run's end reaches the window        | Idle                            |
// |              | Close                                   | Closing                         |
// | Released     | Start (the run still ends)              | StartQueued                     |
// |              | Cancel                                  | Cancelling                      |
// |              | the run's end                           | Idle                            |
// |              | Close                                   | Closing                         |
// | StartQueued  | the run's end                           | StartQueued (no run; the Start  |
// |              |                                         | goes ahead once no box of the   |
// |              |                                         | user's is open: Idle, Running)  |
// |              | Cancel (the run still ends)             | Cancelling                      |
// |              | Cancel (the run has ended)              | Idle                            |
// |              | Close                                   | Closing                         |
// | Cancelling   | the run's end                           | Idle                            |
// |              | give-up (no box of the run's on screen) | Idle; the run is given up       |
// |              | Close                                   | Closing                         |
// | SavePromised | the run's end                           | Idle                            |
// |              | Cancel (ends only a wait of the save)   | SavePromised                    |
// |              | Close                                   | Closing                         |
// | Closing      | nothing: the window goes                | -                               |
//
// What the worker sees: in Running, Released, StartQueued and SavePromised
// every call reaches the window; in Cancelling its boxes and picker are
// dropped (answered 0, nothing) and its temp file takes no more bytes, but
// its progress and end still reach the window; once the run is given up,
// and in Closing, nothing of it reaches the window or its temp file again.
// A run's box or picker on screen as the window goes is closed as if
// dismissed, and its answer is dropped: no wait of the window thread ever
// depends on a call further down its own stack.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "core/catalogue.h"
#include "core/run_window.h"

namespace cveltrix {

class RunGuard;

enum class RunState { Idle, Running, Released, StartQueued, Cancelling, SavePromised, Closing };

// Lower-case, as the debug line writes it.
std::wstring RunStateName(RunState state);
// The table above: whether `to` may follow `from`.
bool RunStateMayFollow(RunState from, RunState to);

// What a cancelled run's give-up timer finds.
enum class GiveUpOutcome {
    // A box of the run's is on screen: it is answered first.
    Later,
    // The run is no longer being cancelled: it ended by itself, its end is
    // on its way, or message 8 was answered and the save step goes on.
    NotNeeded,
    // The run was given up: the window is idle.
    Idle,
};

struct ToldProgress {
    std::wstring text;
    std::uint64_t position = 0;
};

// The kinds of call a run makes; the gate admits each by the state.
enum class RunCall {
    // Progress, the length, the failure line, the pause between chunks.
    Tell,
    // A box or the picker, and the temp file's move and the record beside it.
    Prompt,
    // The temp file's other operations.
    File,
    // The run's last call.
    End,
};

// What an answered ask means for the state.
enum class AskEffect {
    None,
    // Message 8: the save step follows whatever comes.
    PromisesSave,
    // A failure box whose buttons release the window while the run ends.
    Releases,
};

class RunDesk {
public:
    // `window` does what the runs ask and tell, on the window thread (the
    // failure line and the pause on the worker's own); `wake` tells that
    // thread, from any thread, that something waits, and it answers with
    // Serve(); `trace` writes the debug line of each change of state.
    // Made on the window thread.
    RunDesk(RunWindow& window, std::function<void()> wake, std::function<void(const std::wstring&)> trace);

    // ---- Window thread; debug builds check it.
    void OnWindowThread() const;
    RunState State() const;
    void Serve();
    // A worker is launched for `run`: Idle -> Running.
    void RunStarted(const std::shared_ptr<RunGuard>& run);
    // A Start clicked while a released run still ends; false when there is
    // no such run.
    bool QueueStart();
    // True, once, when a queued Start may go ahead: its run has ended and
    // no box of the user's is open.
    bool TakeQueuedStart();
    void Cancel();
    // The give-up timer, some time after Cancel.
    GiveUpOutcome GiveUpStuckRun();
    // Esc, Exit, the close box, the session's end: the run is cancelled and
    // given up, what waits is dropped, and nothing of the run reaches the
    // window again; returns at once. True when a box or picker of the run's
    // is on screen: the caller dismisses it.
    bool Close();
    // A box of the window's own opens, or closes; the run's asks wait
    // behind it.
    void UserBoxOpening();
    void UserBoxClosed();
    std::size_t AsksWaiting() const;
    // The newest progress, as the window paints it; progress wakes the
    // window once until it is taken.
    ToldProgress TakeProgress();

    // ---- Any thread: the gate. The guard's calls of its run.
    bool Admits(const RunGuard& run, RunCall call);
    // Runs `prompt` on the window thread and waits for it: false when it
    // was dropped instead. `prompt` returns whether the user answered, which
    // has `effect` on the state there and then.
    bool Ask(const RunGuard& run, const std::function<bool(RunWindow&)>& prompt, AskEffect effect = AskEffect::None);
    void TellRange(const RunGuard& run, std::uint64_t length);
    void TellProgress(const RunGuard& run, const std::wstring& text, std::uint64_t position);
    void TellEnded(const RunGuard& run);
    // A call that shows nothing (the failure line, the pause), made on the
    // caller's thread while the gate admits `kind`.
    void Pass(const RunGuard& run, RunCall kind, const std::function<void(RunWindow&)>& call);

private:
    struct Pending {
        const RunGuard* run;
        const std::function<bool(RunWindow&)>* prompt;
        AskEffect effect;
        bool answered = false;
        bool dropped = false;
    };
    struct Told {
        std::optional<std::uint64_t> range;
        bool progress = false;
        bool end = false;
    };

    bool OnWindowThreadNow() const { return std::this_thread::get_id() == windowThread_; }
    // Under the lock.
    bool AdmitsLocked(const RunGuard* run, RunCall call) const;
    void TransitionTo(RunState next, const wchar_t* why);
    // `tell` records it under the lock and says whether to wake the window.
    void Tell(const RunGuard& run, RunCall kind, const std::function<bool(Told&)>& tell);
    void ServeTells();
    void ServeAsks();
    void ServeOne(Pending& pending, std::unique_lock<std::mutex>& lock);
    void TakeEnd();
    // Under the lock: the run given up, for GiveUp() outside it.
    std::weak_ptr<RunGuard> DetachRun();
    void CancelRun();
    static void GiveUp(const std::weak_ptr<RunGuard>& run);
    void DropWaiting();

    const std::thread::id windowThread_;
    std::function<void()> wake_;
    std::function<void(const std::wstring&)> trace_;
    // Guards everything below: the state, the current run, what the two
    // threads hand over. Never held while a box is shown or a file written.
    mutable std::mutex mutex_;
    std::condition_variable answered_;
    RunWindow& window_;
    RunState state_ = RunState::Idle;
    // The run the window follows, by identity only: a run given up, or one
    // whose end the window took, is no longer it. Its guard is reached
    // through runGuard_ while the worker keeps it: the guard keeps the
    // desk, so the desk must not keep the guard.
    const RunGuard* run_ = nullptr;
    std::weak_ptr<RunGuard> runGuard_;
    std::deque<Pending*> waiting_;
    Told told_;
    ToldProgress progress_;
    // Progress wakes the window once until it takes the newest.
    bool progressUntaken_ = false;
    // Window thread only: the run's prompt on screen, and the boxes of the
    // user's open.
    Pending* onScreen_ = nullptr;
    int userBoxes_ = 0;
};

}  // namespace cveltrix
