// The main window's side of a download run, free of any window API: its
// record of the run, which only the window thread changes, and the rule
// that no two boxes of the tool are ever open together.
//
// The worker tells the window what happens (progress, its end) by posting,
// never waiting; it asks (a message box, the folder picker) through Ask(),
// and the answer comes back to it as a value. An ask waits while the user
// has a box of the window's own open (the Exit question, the version box,
// the proxy settings) and is dropped if the user chose Exit.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace cveltrix {

class RunDesk {
public:
    // `wake` tells the window thread, from any thread, that an ask is
    // waiting; the window thread answers with ServeAsks().
    explicit RunDesk(std::function<void()> wake) : wake_(std::move(wake)) {}

    // Worker thread: runs `prompt` on the window thread and waits for it.
    // False when it was dropped instead.
    bool Ask(const std::function<void()>& prompt);

    // Window thread: runs what waits, unless a box of the user's is open.
    void ServeAsks();
    // Window thread: a box of the window's own opens, or closes; once the
    // user chose Exit in it, what waits is dropped.
    void UserBoxOpening() { ++userBoxes_; }
    void UserBoxClosed(bool exiting);
    // Window thread: the window goes; every ask, waiting or to come, is
    // dropped.
    void Close();

    // The record of the run, window thread only.
    bool Busy() const { return busy_; }
    void RunStarted() { busy_ = true; }
    // A Start clicked while the last run still ends goes ahead at its end.
    void StartWhenEnded() { startWhenEnded_ = true; }
    // The run ended or was given up; true when a Start is waiting for that.
    bool RunEnded();

private:
    struct Pending {
        const std::function<void()>* prompt;
        bool answered = false;
        bool dropped = false;
    };

    void DropWaiting(std::unique_lock<std::mutex>& lock);

    std::function<void()> wake_;
    std::mutex mutex_;
    std::condition_variable answered_;
    std::deque<Pending*> waiting_;
    bool closed_ = false;
    // Window thread only.
    int userBoxes_ = 0;
    bool serving_ = false;
    bool busy_ = false;
    bool startWhenEnded_ = false;
};

}  // namespace cveltrix
