// The DPI a window is shown at, and the tool's icon drawn for it.
#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

namespace cveltrix::win {

struct DestroyIconHandle {
    void operator()(HICON icon) const { ::DestroyIcon(icon); }
};
using UniqueIcon = std::unique_ptr<std::remove_pointer_t<HICON>, DestroyIconHandle>;

// The DPI of the primary monitor at sign-in: a new window's, unless it
// opens on a monitor of another DPI.
UINT SystemDpi();

// The window's monitor's DPI under per-monitor awareness (Windows 10 1607
// and later); the system's before.
UINT WindowDpi(HWND window);

// Icon resource `id` at the size of the system metric `metric` (SM_CXICON
// or SM_CXSMICON) for `dpi`, scaled down from a larger image when the
// resource has no image of that size.
UniqueIcon LoadIconForDpi(int id, int metric, UINT dpi);

}  // namespace cveltrix::win
