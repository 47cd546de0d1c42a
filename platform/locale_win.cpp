#include "platform/locale_win.h"

#include <windows.h>

namespace cveltrix::win {

std::uint16_t UserUiLanguage() { return ::GetUserDefaultUILanguage(); }

}  // namespace cveltrix::win
