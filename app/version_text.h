// Texts built from the executable's version resource.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace cveltrix {

// "\StringFileInfo\llllcccc\<name>": language then code page, four
// lowercase hexadecimal digits each.
std::wstring VersionValuePath(std::uint16_t language, std::uint16_t codePage, std::wstring_view name);

// The version box's first line: "<product> V<version>".
std::wstring ProductLine(std::wstring_view productName, std::wstring_view productVersion);

}  // namespace cveltrix
