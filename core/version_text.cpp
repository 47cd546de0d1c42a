#include "core/version_text.h"

namespace cveltrix {

std::wstring ProductLine(std::wstring_view productName, std::wstring_view productVersion) {
    return std::wstring(productName) + L" V" + std::wstring(productVersion);
}

}  // namespace cveltrix
