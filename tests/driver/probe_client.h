// The driver's side of the in-process probe (probe.h).
#pragma once

#include <windows.h>

#include <string>

#include "probe.h"

namespace driver {

struct ProbeAnswer {
    bool ok;
    std::wstring text;  // the answer, or why there is none
};

// Hooks the target's thread, asks, waits up to `timeoutMs`, unhooks.
ProbeAnswer AskProbe(HWND target, ProbeQuery query, UINT timeoutMs);

}  // namespace driver
