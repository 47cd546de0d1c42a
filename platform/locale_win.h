// The user's language settings, as Windows reports them.
#pragma once

#include <cstdint>

namespace cveltrix::win {

// The user-interface language (a LANGID).
std::uint16_t UserUiLanguage();
// The user's default locale (an LCID).
std::uint32_t UserLocale();

}  // namespace cveltrix::win
