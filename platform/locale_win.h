// The user's language setting, as Windows reports it.
#pragma once

#include <cstdint>

namespace cveltrix::win {

// The user-interface language (a LANGID).
std::uint16_t UserUiLanguage();

}  // namespace cveltrix::win
