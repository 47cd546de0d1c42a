#include "core/run_desk.h"

#include <cassert>
#include <utility>

namespace cveltrix {

RunDesk::RunDesk(std::function<void()> wake, Tells& tells)
    : windowThread_(std::this_thread::get_id()), wake_(std::move(wake)), tells_(tells) {}

void RunDesk::OnWindowThread() const { assert(std::this_thread::get_id() == windowThread_); }

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

int RunDesk::AskBox(CatalogueId id, const std::function<int()>& show) {
    int answer = 0;
    Ask([&] {
        answer = show();
        // Decided here, on the window thread, before a give-up timer queued
        // behind the box can run.
        if (id == msg::DownloadComplete && answer != 0 && run_) run_->PromiseSaveStep();
    });
    return answer;
}

void RunDesk::TellRange(std::uint64_t length) {
    {
        const std::lock_guard lock(mutex_);
        range_ = length;
    }
    wake_();
}

void RunDesk::TellProgress(const std::wstring& text, std::uint64_t position) {
    {
        const std::lock_guard lock(mutex_);
        progress_ = {text, position};
        if (std::exchange(progressWaiting_, true)) return;
    }
    wake_();
}

void RunDesk::TellEnded() {
    {
        const std::lock_guard lock(mutex_);
        ended_ = true;
    }
    wake_();
}

void RunDesk::Serve() {
    OnWindowThread();
    ServeTells();
    ServeAsks();
}

void RunDesk::ServeTells() {
    std::optional<std::uint64_t> range;
    bool progress = false;
    bool ended = false;
    {
        const std::lock_guard lock(mutex_);
        range = std::exchange(range_, std::nullopt);
        progress = progressWaiting_;
        ended = std::exchange(ended_, false);
    }
    if (range) tells_.RangeTold(*range);
    if (progress) tells_.ProgressTold();
    if (ended) tells_.EndTold();
}

ToldProgress RunDesk::TakeProgress() {
    OnWindowThread();
    const std::lock_guard lock(mutex_);
    progressWaiting_ = false;
    return progress_;
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

void RunDesk::UserBoxOpening() {
    OnWindowThread();
    ++userBoxes_;
}

void RunDesk::UserBoxClosed(bool exiting) {
    OnWindowThread();
    --userBoxes_;
    if (exiting) {
        startQueued_ = false;
        std::unique_lock lock(mutex_);
        DropWaiting(lock);
        return;
    }
    ServeAsks();
}

void RunDesk::Close() {
    OnWindowThread();
    {
        std::unique_lock lock(mutex_);
        closed_ = true;
        DropWaiting(lock);
    }
    startQueued_ = false;
    if (!run_) return;
    run_->Cancel();
    run_->GiveUp();
    run_->WaitForCallsUnderWay();
}

void RunDesk::DropWaiting(std::unique_lock<std::mutex>&) {
    for (Pending* pending : waiting_) {
        pending->dropped = true;
        pending->answered = true;
    }
    waiting_.clear();
    answered_.notify_all();
}

bool RunDesk::Busy() const {
    OnWindowThread();
    return busy_;
}

void RunDesk::RunStarted(std::shared_ptr<RunGuard> run) {
    OnWindowThread();
    run_ = std::move(run);
    busy_ = true;
}

void RunDesk::RunEnded() {
    OnWindowThread();
    busy_ = false;
}

void RunDesk::QueueStart() {
    OnWindowThread();
    startQueued_ = true;
}

bool RunDesk::TakeQueuedStart() {
    OnWindowThread();
    if (!startQueued_ || busy_ || userBoxes_ > 0) return false;
    startQueued_ = false;
    return true;
}

void RunDesk::Cancel() {
    OnWindowThread();
    startQueued_ = false;
    if (run_) run_->Cancel();
}

bool RunDesk::Cancelled() const {
    OnWindowThread();
    return !run_ || run_->Cancelled();
}

GiveUpOutcome RunDesk::GiveUpStuckRun() {
    OnWindowThread();
    if (serving_) return GiveUpOutcome::Later;
    if (!run_ || run_->SaveStepPromised() || !run_->GiveUp()) return GiveUpOutcome::NotNeeded;
    return GiveUpOutcome::Idle;
}

}  // namespace cveltrix
