// Which catalogue column the user sees, and the narrower locale rule.
#pragma once

#include <string>

#include "resources/catalogue.h"

namespace cveltrix::win {

Language UiLanguage();
bool JapaneseLocale();
// The catalogue text in the user-interface language.
std::wstring Text(CatalogueId id);

}  // namespace cveltrix::win
