// Modal message boxes.
#pragma once

#include <windows.h>

#include <string>

namespace cveltrix::win {

// Shows `text` owned by `owner`, captioned with the application name, with
// the MB_* buttons and icon in `style`; returns the button pressed.
int ShowMessageBox(HWND owner, const std::wstring& text, UINT style);

}  // namespace cveltrix::win
