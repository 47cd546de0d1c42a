// Waiting and staying awake on the worker thread, with Win32.
#pragma once

#include "core/run_pace.h"

namespace cveltrix::win {

class PollingPause final : public Pause {
public:
    bool Wait(std::chrono::milliseconds duration, const std::atomic<bool>& cancel) override;
};

// The calling thread's execution state: the system stays up while the
// thread holds it, whatever the display does.
class ThreadWakefulness final : public Wakefulness {
public:
    void StayAwake() override;
    void AllowSleep() override;
};

}  // namespace cveltrix::win
