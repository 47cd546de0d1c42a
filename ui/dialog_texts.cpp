#include "ui/dialog_texts.h"

#include "platform/locale_win.h"
#include "platform/message_box_win.h"

namespace cveltrix {
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

Language UiLanguage() { return LanguageForUi(win::UserUiLanguage()); }

std::wstring Text(CatalogueId id) { return std::wstring(LoadText(id, UiLanguage())); }

void SetDialogTexts(HWND dialog, std::initializer_list<DialogText> texts) {
    for (const DialogText& text : texts) ::SetDlgItemTextW(dialog, text.control, Text(text.entry).c_str());
}

int ShowCatalogueMessage(HWND owner, CatalogueId id, BoxKind kind) {
    return win::ShowMessageBox(owner, Text(id), StyleOf(kind));
}

}  // namespace cveltrix
