#include "platform/locale_win.h"

#include <windows.h>

namespace cveltrix::win {

Language UiLanguage() { return LanguageForUi(::GetUserDefaultUILanguage()); }

bool JapaneseLocale() { return IsJapaneseLocale(::GetUserDefaultLCID()); }

std::wstring Text(CatalogueId id) { return std::wstring(LoadText(id, UiLanguage())); }

}  // namespace cveltrix::win
