#include "platform/message_box_win.h"

#include "platform/locale_win.h"
#include "platform/module_win.h"

namespace cveltrix::win {
namespace {

UINT StyleOf(BoxKind kind) {
    const UINT buttons = kind == BoxKind::YesNo ? MB_YESNO : MB_OK;
    switch (IconFor(kind)) {
        case BoxIcon::Information: return buttons | MB_ICONINFORMATION;
        case BoxIcon::Question: return buttons | MB_ICONQUESTION;
        case BoxIcon::Warning: break;
    }
    return buttons | MB_ICONWARNING;
}

}  // namespace

int ShowMessage(HWND owner, CatalogueId id, BoxKind kind) {
    return ::MessageBoxW(owner, Text(id).c_str(), ApplicationName().c_str(), StyleOf(kind));
}

}  // namespace cveltrix::win
