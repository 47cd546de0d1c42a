// The run's sense of time and of the machine around it: waiting between
// tries, and keeping the machine from sleeping while the run works. The
// platform's are in platform/; tests give them fakes with a clock of their own.
#pragma once

#include <atomic>
#include <chrono>

namespace cveltrix {

class Pause {
public:
    virtual ~Pause() = default;
    // Waits `duration`, or less when `cancel` is raised meanwhile; false then.
    virtual bool Wait(std::chrono::milliseconds duration, const std::atomic<bool>& cancel) = 0;
};

// Keeps the machine from sleeping by idleness for the calling thread, and
// lets it sleep again; the display may still turn off.
class Wakefulness {
public:
    virtual ~Wakefulness() = default;
    virtual void StayAwake() = 0;
    virtual void AllowSleep() = 0;
};

// Awake for as long as it lives (nothing without a `wakefulness`).
class AwakeHold {
public:
    explicit AwakeHold(Wakefulness* wakefulness) : wakefulness_(wakefulness) {
        if (wakefulness_) wakefulness_->StayAwake();
    }
    ~AwakeHold() {
        if (wakefulness_) wakefulness_->AllowSleep();
    }
    AwakeHold(const AwakeHold&) = delete;
    AwakeHold& operator=(const AwakeHold&) = delete;

private:
    Wakefulness* wakefulness_;
};

}  // namespace cveltrix
