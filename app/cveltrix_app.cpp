#include "app/cveltrix_app.h"

#include <windows.h>
#include <commctrl.h>

#include "app/cveltrix_dlg.h"
#include "platform/folder_picker_win.h"

namespace cveltrix {

bool CveltrixApp::InitInstance() {
    INITCOMMONCONTROLSEX controls = {sizeof(controls), 0xFF};
    ::InitCommonControlsEx(&controls);
    const win::ComApartment com;  // for the taskbar button
    // Never destroyed: a worker still running when the window closes keeps
    // using it until the process ends.
    static CveltrixDlg mainWindow;
    mainWindow.DoModal(nullptr);
    return false;
}

}  // namespace cveltrix

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    cveltrix::CveltrixApp app;
    app.InitInstance();
    // Ends a worker that may still run (or wait in a message box) at once,
    // before any static object goes away under it.
    ::ExitProcess(0);
}
