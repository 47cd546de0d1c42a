// The in-process probe: a hook DLL that the driver installs on the thread of
// a window of the tool for the length of one question. Under Wine some state
// cannot be read from another process (a window's system menu, which icon
// a handle is), so the probe reads it inside and sends the answer back.
//
// The driver sends the registered message kProbeMessage to the target window
// with wParam = the driver's reply window and lParam = a ProbeQuery; the hook
// answers with WM_COPYDATA holding the UTF-16 answer before that send returns.
#pragma once

#include <windows.h>

namespace driver {

inline constexpr wchar_t kProbeMessage[] = L"CveltrixDriverProbe";
inline constexpr char kProbeHookName[] = "ProbeHook";

enum class ProbeQuery : LPARAM {
    SystemMenu = 1,   // JSON array of the window's system-menu items
    WindowIcons = 2,  // JSON object naming the window's big and small icons and their sizes
    DialogIcon = 3,   // name of the icon the dialog's icon static shows, or "none"
};

}  // namespace driver
