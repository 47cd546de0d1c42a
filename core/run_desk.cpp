#include "core/run_desk.h"

#include <array>
#include <cassert>
#include <utility>

#include "core/run_guard.h"

namespace cveltrix {
namespace {

struct Change {
    RunState from;
    RunState to;
};

// The table at the top of run_desk.h, change by change.
constexpr std::array kChanges{
    Change{RunState::Idle, RunState::Running},          Change{RunState::Running, RunState::Released},
    Change{RunState::Running, RunState::SavePromised},  Change{RunState::Running, RunState::Cancelling},
    Change{RunState::Running, RunState::Idle},          Change{RunState::Released, RunState::StartQueued},
    Change{RunState::Released, RunState::Cancelling},   Change{RunState::Released, RunState::Idle},
    Change{RunState::StartQueued, RunState::Cancelling}, Change{RunState::StartQueued, RunState::Idle},
    Change{RunState::Cancelling, RunState::Idle},       Change{RunState::SavePromised, RunState::Idle},
};

}  // namespace

std::wstring RunStateName(RunState state) {
    switch (state) {
        case RunState::Idle: return L"idle";
        case RunState::Running: return L"running";
        case RunState::Released: return L"released";
        case RunState::StartQueued: return L"start queued";
        case RunState::Cancelling: return L"cancelling";
        case RunState::SavePromised: return L"save promised";
        case RunState::Closing: return L"closing";
    }
    return L"?";
}

bool RunStateMayFollow(RunState from, RunState to) {
    if (to == RunState::Closing) return from != RunState::Closing;
    for (const Change& change : kChanges) {
        if (change.from == from && change.to == to) return true;
    }
    return false;
}

RunDesk::RunDesk(RunWindow& window, std::function<void()> wake, std::function<void(const std::wstring&)> trace)
    : windowThread_(std::this_thread::get_id()), wake_(std::move(wake)), trace_(std::move(trace)), window_(window) {}

void RunDesk::OnWindowThread() const { assert(OnWindowThreadNow()); }

RunState RunDesk::State() const {
    const std::lock_guard lock(mutex_);
    return state_;
}

// Every change of state passes here: checked against the table in debug
// builds, and written on the debug line. Under the lock.
void RunDesk::TransitionTo(RunState next, const wchar_t* why) {
    assert(RunStateMayFollow(state_, next));
    trace_(L"run: " + RunStateName(state_) + L" -> " + RunStateName(next) + L" (" + why + L")");
    state_ = next;
}

// ---- The gate

bool RunDesk::AdmitsLocked(const RunGuard* run, RunCall call) const {
    // A run given up, or one whose end the window took, is no longer run_;
    // none is once the window goes.
    if (run == nullptr || run != run_) return false;
    return call != RunCall::Prompt || state_ != RunState::Cancelling;
}

bool RunDesk::Admits(const RunGuard& run, RunCall call) {
    const std::lock_guard lock(mutex_);
    return AdmitsLocked(&run, call);
}

bool RunDesk::Ask(const RunGuard& run, const std::function<bool(RunWindow&)>& prompt, AskEffect effect) {
    Pending pending{&run, &prompt, effect};
    std::unique_lock lock(mutex_);
    if (!AdmitsLocked(&run, RunCall::Prompt)) return false;
    // Only a test's run asks from the window thread itself: it is served
    // at once, as nothing else could serve it.
    if (OnWindowThreadNow()) {
        ServeOne(pending, lock);
        return !pending.dropped;
    }
    waiting_.push_back(&pending);
    wake_();
    answered_.wait(lock, [&] { return pending.answered; });
    return !pending.dropped;
}

void RunDesk::Tell(const RunGuard& run, RunCall kind, const std::function<bool(Told&)>& tell) {
    {
        const std::lock_guard lock(mutex_);
        if (!AdmitsLocked(&run, kind)) return;
        // Woken under the lock, so no wake follows the window's going.
        if (tell(told_) && !OnWindowThreadNow()) wake_();
    }
    if (OnWindowThreadNow()) ServeTells();
}

void RunDesk::TellRange(const RunGuard& run, std::uint64_t length) {
    Tell(run, RunCall::Tell, [&](Told& told) {
        told.range = length;
        return true;
    });
}

void RunDesk::TellProgress(const RunGuard& run, const std::wstring& text, std::uint64_t position) {
    Tell(run, RunCall::Tell, [&](Told& told) {
        progress_ = {text, position};
        told.progress = true;
        return !std::exchange(progressUntaken_, true);
    });
}

void RunDesk::TellEnded(const RunGuard& run) {
    Tell(run, RunCall::End, [](Told& told) {
        told.end = true;
        return true;
    });
}

void RunDesk::Pass(const RunGuard& run, RunCall kind, const std::function<void(RunWindow&)>& call) {
    // Held across the call, so the window cannot go in the middle of it.
    const std::lock_guard lock(mutex_);
    if (AdmitsLocked(&run, kind)) call(window_);
}

// ---- The window thread

void RunDesk::Serve() {
    OnWindowThread();
    ServeTells();
    ServeAsks();
}

void RunDesk::ServeTells() {
    Told told;
    ToldProgress progress;
    {
        const std::lock_guard lock(mutex_);
        told = std::exchange(told_, Told{});
        progress = progress_;
    }
    if (told.range) window_.SetProgressRange(*told.range);
    if (told.progress) window_.ShowProgress(progress.text, progress.position);
    if (told.end) TakeEnd();
}

ToldProgress RunDesk::TakeProgress() {
    OnWindowThread();
    const std::lock_guard lock(mutex_);
    progressUntaken_ = false;
    return progress_;
}

void RunDesk::TakeEnd() {
    {
        const std::lock_guard lock(mutex_);
        // Told before the run was given up, or before the window went.
        if (!run_) return;
        DetachRun();
        if (state_ != RunState::StartQueued) TransitionTo(RunState::Idle, L"the run ended");
    }
    window_.ResetIdleControls();
}

void RunDesk::ServeAsks() {
    // A prompt's own modal loop hears the next wake: one at a time.
    if (onScreen_) return;
    std::unique_lock lock(mutex_);
    while (userBoxes_ == 0 && !waiting_.empty()) {
        Pending* pending = waiting_.front();
        waiting_.pop_front();
        ServeOne(*pending, lock);
    }
}

// Admitted once more as it is served: a Cancel or the window's going may
// have come while it waited.
void RunDesk::ServeOne(Pending& pending, std::unique_lock<std::mutex>& lock) {
    if (AdmitsLocked(pending.run, RunCall::Prompt)) {
        onScreen_ = &pending;
        lock.unlock();
        const bool answered = (*pending.prompt)(window_);
        lock.lock();
        onScreen_ = nullptr;
        // Dismissed as the window went: the answer is no answer.
        pending.dropped = state_ == RunState::Closing;
        if (answered && !pending.dropped && state_ == RunState::Running) {
            if (pending.effect == AskEffect::PromisesSave) TransitionTo(RunState::SavePromised, L"message 8 answered");
            if (pending.effect == AskEffect::Releases) TransitionTo(RunState::Released, L"its failure box answered");
        }
    } else {
        pending.dropped = true;
    }
    pending.answered = true;
    answered_.notify_all();
}

void RunDesk::RunStarted(const std::shared_ptr<RunGuard>& run) {
    OnWindowThread();
    const std::lock_guard lock(mutex_);
    run_ = run.get();
    runGuard_ = run;
    TransitionTo(RunState::Running, L"Start");
}

bool RunDesk::QueueStart() {
    OnWindowThread();
    const std::lock_guard lock(mutex_);
    if (state_ == RunState::StartQueued) return true;
    if (state_ != RunState::Released) return false;
    TransitionTo(RunState::StartQueued, L"Start while the run ends");
    return true;
}

bool RunDesk::TakeQueuedStart() {
    OnWindowThread();
    const std::lock_guard lock(mutex_);
    if (state_ != RunState::StartQueued || run_ || userBoxes_ > 0) return false;
    TransitionTo(RunState::Idle, L"the queued Start goes ahead");
    return true;
}

void RunDesk::Cancel() {
    OnWindowThread();
    // The window is disabled under a box of the run's: a Cancel that gets
    // there (a posted click) is no user's, and the answer decides.
    if (onScreen_) return;
    const std::lock_guard lock(mutex_);
    CancelRun();
    switch (state_) {
        case RunState::Running:
        case RunState::Released: TransitionTo(RunState::Cancelling, L"Cancel"); break;
        case RunState::StartQueued:
            TransitionTo(run_ ? RunState::Cancelling : RunState::Idle, L"Cancel drops the queued Start");
            break;
        default: break;
    }
}

GiveUpOutcome RunDesk::GiveUpStuckRun() {
    OnWindowThread();
    if (onScreen_) return GiveUpOutcome::Later;
    std::weak_ptr<RunGuard> run;
    {
        const std::lock_guard lock(mutex_);
        if (state_ != RunState::Cancelling || told_.end) return GiveUpOutcome::NotNeeded;
        run = DetachRun();
        TransitionTo(RunState::Idle, L"given up");
    }
    GiveUp(run);
    return GiveUpOutcome::Idle;
}

// The run is no longer run_, so it reaches neither the window nor its temp
// file from now on; its files close outside the lock, which a file call
// takes while it holds its file (one under way closes as it returns).
void RunDesk::GiveUp(const std::weak_ptr<RunGuard>& run) {
    if (const auto guard = run.lock()) guard->CloseFiles();
}

std::weak_ptr<RunGuard> RunDesk::DetachRun() {
    run_ = nullptr;
    return std::exchange(runGuard_, {});
}

void RunDesk::CancelRun() {
    if (const auto guard = runGuard_.lock()) guard->Cancel();
}

bool RunDesk::Close() {
    OnWindowThread();
    std::weak_ptr<RunGuard> run;
    {
        const std::lock_guard lock(mutex_);
        if (state_ == RunState::Closing) return false;
        CancelRun();
        run = DetachRun();
        told_ = Told{};
        TransitionTo(RunState::Closing, L"the window goes");
    }
    GiveUp(run);
    DropWaiting();
    return onScreen_ != nullptr;
}

void RunDesk::DropWaiting() {
    const std::lock_guard lock(mutex_);
    for (Pending* pending : waiting_) {
        pending->dropped = true;
        pending->answered = true;
    }
    waiting_.clear();
    answered_.notify_all();
}

void RunDesk::UserBoxOpening() {
    OnWindowThread();
    ++userBoxes_;
}

std::size_t RunDesk::AsksWaiting() const {
    OnWindowThread();
    const std::lock_guard lock(mutex_);
    return waiting_.size();
}

void RunDesk::UserBoxClosed() {
    OnWindowThread();
    --userBoxes_;
    ServeAsks();
}

}  // namespace cveltrix
