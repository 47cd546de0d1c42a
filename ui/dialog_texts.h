// The catalogue as the dialogs show it: in the user's language, captions
// set from {control, entry} tables, messages as boxes.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>

#include "core/catalogue.h"

namespace cveltrix {

// The column of the user-interface language, and its entry.
Language UiLanguage();
std::wstring Text(CatalogueId id);

struct DialogText {
    int control;
    CatalogueId entry;
};
// Sets each control's caption to its entry.
void SetDialogTexts(HWND dialog, std::initializer_list<DialogText> texts);

// Message `id` as a modal box owned by `owner`; returns the button pressed.
int ShowCatalogueMessage(HWND owner, CatalogueId id, BoxKind kind);

}  // namespace cveltrix
