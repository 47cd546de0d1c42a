// The main window's side of a download run, free of any window API: its
// record of the run, the Start queued behind a run's end, the give-up rule,
// and the one channel through which the worker tells and asks.
//
// The worker tells the window what happens (the length, progress, its end)
// and never waits for it; it asks (a message box, the folder picker) through
// Ask(), and the answer comes back to it as a value. Both wake the window
// thread, which takes everything waiting in Serve(): the tells at once, even
// inside a box's modal loop; an ask only while the user has no box of the
// window's own open (the Exit question, the version box, the proxy
// settings), and none at all once the user chose Exit.
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
#include "core/run_guard.h"

namespace cveltrix {

struct ToldProgress {
    std::wstring text;
    std::uint64_t position = 0;
};

// What a cancelled run's give-up timer finds.
enum class GiveUpOutcome {
    // A box of the run's is on screen: it is answered first.
    Later,
    // The run ended by itself, or message 8 was answered and its picker and
    // save end the run.
    NotNeeded,
    // The run was given up: the window returns to idle itself.
    Idle,
};

class RunDesk {
public:
    // The window's handling of the tells, on the window thread.
    class Tells {
    public:
        virtual ~Tells() = default;
        virtual void RangeTold(std::uint64_t length) = 0;
        // The newest progress waits in TakeProgress().
        virtual void ProgressTold() = 0;
        virtual void EndTold() = 0;
    };

    // Made on the window thread. `wake` tells that thread, from any thread,
    // that something waits; it answers with Serve().
    RunDesk(std::function<void()> wake, Tells& tells);

    // Worker thread: runs `prompt` on the window thread and waits for it.
    // False when it was dropped instead.
    bool Ask(const std::function<void()>& prompt);
    // Worker thread: a run's box through Ask(); once message 8 is answered,
    // the save step is promised before the window thread does anything else.
    int AskBox(CatalogueId id, const std::function<int()>& show);
    // Worker thread, never waiting. Progress wakes the window once until it
    // is taken: the window paints the newest at its own pace.
    void TellRange(std::uint64_t length);
    void TellProgress(const std::wstring& text, std::uint64_t position);
    void TellEnded();

    // Window thread from here on; debug builds check it.
    void OnWindowThread() const;
    void Serve();
    ToldProgress TakeProgress();
    // A box of the window's own opens, or closes; once the user chose Exit
    // in it, what the run asks and a queued Start are dropped.
    void UserBoxOpening();
    void UserBoxClosed(bool exiting);
    // The window goes: every ask, waiting or to come, is dropped, and the
    // run is cancelled and given up; returns once no call of the run into
    // the window is under way.
    void Close();

    // The record of the run: busy from its start until its end reaches the
    // window or it is given up.
    bool Busy() const;
    void RunStarted(std::shared_ptr<RunGuard> run);
    void RunEnded();
    // A Start clicked while the last run still ends.
    void QueueStart();
    // True, once, when a queued Start may go ahead: no run, and no box of
    // the user's open.
    bool TakeQueuedStart();
    // Cancels the run, and a Start queued behind it.
    void Cancel();
    bool Cancelled() const;
    // The give-up timer, some time after Cancel.
    GiveUpOutcome GiveUpStuckRun();

private:
    struct Pending {
        const std::function<void()>* prompt;
        bool answered = false;
        bool dropped = false;
    };

    void ServeTells();
    void ServeAsks();
    void DropWaiting(std::unique_lock<std::mutex>& lock);

    const std::thread::id windowThread_;
    std::function<void()> wake_;
    Tells& tells_;
    // Guards what the two threads hand over: the asks and the tells.
    std::mutex mutex_;
    std::condition_variable answered_;
    std::deque<Pending*> waiting_;
    bool closed_ = false;
    std::optional<std::uint64_t> range_;
    ToldProgress progress_;
    bool progressWaiting_ = false;
    bool ended_ = false;
    // Window thread only.
    int userBoxes_ = 0;
    bool serving_ = false;
    bool busy_ = false;
    bool startQueued_ = false;
    std::shared_ptr<RunGuard> run_;
};

}  // namespace cveltrix
