// The start-up reference: the main window's own dialog template and
// resources with nothing behind them but the window class the template
// names (without icons) and the title the tool sets, so that the benchmark
// finds it as it finds the tool.
#include <windows.h>
#include <commctrl.h>

#include "platform/dialog_win.h"
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
    const cveltrix::win::DialogClass windowClass(L"" MAIN_WINDOW_CLASS, nullptr, nullptr);
    return static_cast<int>(
        ::DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_CVELTRIX_DIALOG), nullptr, DialogProc, 0));
}
