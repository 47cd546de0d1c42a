#include "core/error_text.h"

namespace cveltrix {

std::wstring ErrorText(std::uint32_t code) { return L"error " + std::to_wstring(code); }

}  // namespace cveltrix
