// The start-up reference: the main window's own dialog template and
// resources with nothing behind them but the title the tool sets, so that
// the benchmark finds it as it finds the tool.
#include <windows.h>
#include <commctrl.h>

#include "resources/resource.h"

namespace {

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        ::SetWindowTextW(dialog, L"Cveltrix Downloader");
        return TRUE;
    }
    if (message == WM_COMMAND && (LOWORD(wParam) == IDC_EXIT || LOWORD(wParam) == IDCANCEL)) {
        ::EndDialog(dialog, 0);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    INITCOMMONCONTROLSEX controls = {sizeof(controls), 0xFF};
    ::InitCommonControlsEx(&controls);
    return static_cast<int>(
        ::DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_CVELTRIX_DIALOG), nullptr, DialogProc, 0));
}
