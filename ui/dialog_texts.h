// The catalogue as the dialogs show it: in the user's language, captions
// set from {control, entry} tables, messages as boxes.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>

#include "core/catalogue.h"

namespace cveltrix {

// The entry in the user-interface language.
std::wstring Text(CatalogueId id);
// The user's default locale is Japanese (the word order of two texts).
bool JapaneseLocale();

struct DialogText {
    int control;
    CatalogueId entry;
};
// Sets each control's caption to its entry.
void SetDialogTexts(HWND dialog, std::initializer_list<DialogText> texts);

// Message `id` as a modal box owned by `owner`; returns the button pressed.
int ShowCatalogueMessage(HWND owner, CatalogueId id, BoxKind kind);

}  // namespace cveltrix
