// Texts built from the executable's version resource.
#pragma once

#include <string>
#include <string_view>

namespace cveltrix {

// The version box's first line: "<product> V<version>".
std::wstring ProductLine(std::wstring_view productName, std::wstring_view productVersion);

}  // namespace cveltrix
