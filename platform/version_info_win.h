// Values of the executable's own version resource.
#pragma once

#include <string>
#include <string_view>

namespace cveltrix::win {

// The value `name` (e.g. L"ProductName") of the first translation's string
// block; empty when the resource or the value is missing.
std::wstring ReadVersionValue(std::wstring_view name);

}  // namespace cveltrix::win
