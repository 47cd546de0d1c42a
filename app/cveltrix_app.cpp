#include "app/cveltrix_app.h"

#include <windows.h>
#include <commctrl.h>

#include "app/cveltrix_dlg.h"

namespace cveltrix {

bool CveltrixApp::InitInstance() {
    INITCOMMONCONTROLSEX controls = {sizeof(controls), 0xFF};
    ::InitCommonControlsEx(&controls);
    CveltrixDlg mainWindow;
    mainWindow.DoModal(nullptr);
    return false;
}

}  // namespace cveltrix

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    cveltrix::CveltrixApp app;
    app.InitInstance();
    return 0;
}
