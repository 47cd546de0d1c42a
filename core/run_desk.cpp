#include "core/run_desk.h"

namespace cveltrix {

bool RunDesk::Ask(const std::function<void()>& prompt) {
    Pending pending{&prompt};
    {
        std::unique_lock lock(mutex_);
        if (closed_) return false;
        waiting_.push_back(&pending);
    }
    wake_();
    std::unique_lock lock(mutex_);
    answered_.wait(lock, [&] { return pending.answered; });
    return !pending.dropped;
}

void RunDesk::ServeAsks() {
    // A prompt's own modal loop may hear the next wake: one at a time.
    if (serving_) return;
    serving_ = true;
    std::unique_lock lock(mutex_);
    while (userBoxes_ == 0 && !waiting_.empty()) {
        Pending* pending = waiting_.front();
        waiting_.pop_front();
        lock.unlock();
        (*pending->prompt)();
        lock.lock();
        pending->answered = true;
        answered_.notify_all();
    }
    serving_ = false;
}

void RunDesk::UserBoxClosed(bool exiting) {
    --userBoxes_;
    if (exiting) {
        std::unique_lock lock(mutex_);
        DropWaiting(lock);
        return;
    }
    ServeAsks();
}

void RunDesk::Close() {
    std::unique_lock lock(mutex_);
    closed_ = true;
    DropWaiting(lock);
}

void RunDesk::DropWaiting(std::unique_lock<std::mutex>&) {
    for (Pending* pending : waiting_) {
        pending->dropped = true;
        pending->answered = true;
    }
    waiting_.clear();
    answered_.notify_all();
}

bool RunDesk::RunEnded() {
    busy_ = false;
    const bool start = startWhenEnded_;
    startWhenEnded_ = false;
    return start;
}

}  // namespace cveltrix
