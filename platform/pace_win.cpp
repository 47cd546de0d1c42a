#include "platform/pace_win.h"

#include <windows.h>

#include <algorithm>

namespace cveltrix::win {
namespace {

// Cancel and Exit raise a plain flag (no event to wait on), and the window
// gives a run a fifth of a second to end by itself before giving up on it:
// a wait that looks every 50 ms ends well within that.
constexpr std::chrono::milliseconds kCancelPoll{50};

}  // namespace

bool PollingPause::Wait(std::chrono::milliseconds duration, const std::atomic<bool>& cancel) {
    const auto until = std::chrono::steady_clock::now() + duration;
    for (;;) {
        if (cancel.load()) return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (left.count() <= 0) return true;
        ::Sleep(static_cast<DWORD>(std::min(left, kCancelPoll).count()));
    }
}

// ES_CONTINUOUS keeps the state until the next call with it; the display
// is left to its own timeout.
void ThreadWakefulness::StayAwake() { ::SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED); }

void ThreadWakefulness::AllowSleep() { ::SetThreadExecutionState(ES_CONTINUOUS); }

}  // namespace cveltrix::win
