// Where a value lives in the executable's version resource; no platform
// calls, so it is tested natively.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace cveltrix {

// "\StringFileInfo\llllcccc\<name>": language then code page, four
// lowercase hexadecimal digits each.
std::wstring VersionValuePath(std::uint16_t language, std::uint16_t codePage, std::wstring_view name);

}  // namespace cveltrix
