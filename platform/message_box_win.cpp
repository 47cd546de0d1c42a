#include "platform/message_box_win.h"

#include "platform/module_win.h"

namespace cveltrix::win {

int ShowMessageBox(HWND owner, const std::wstring& text, UINT style) {
    return ::MessageBoxW(owner, text.c_str(), ApplicationName().c_str(), style);
}

}  // namespace cveltrix::win
