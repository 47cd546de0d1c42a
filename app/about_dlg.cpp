#include "app/about_dlg.h"

#include "core/version_text.h"
#include "platform/version_info_win.h"
#include "ui/dialog_texts.h"
#include "resources/resource.h"

namespace cveltrix {

CAboutDlg::CAboutDlg() : Dialog(IDD_ABOUTBOX) {}

void CAboutDlg::DoDataExchange(win::DataExchange& exchange) {
    if (exchange.Saving()) return;
    SetItemText(IDC_PRODUCT_LINE,
                ProductLine(win::ReadVersionValue(L"ProductName"), win::ReadVersionValue(L"ProductVersion")));
    SetItemText(IDC_COPYRIGHT_LINE, win::ReadVersionValue(L"LegalCopyright"));
    SetDialogTexts(Handle(), {{IDOK, caption::Ok}});
}

}  // namespace cveltrix
