// How a failure's reason names the platform's error code, in every line the
// tool notes.
#pragma once

#include <cstdint>
#include <string>

namespace cveltrix {

// "error N".
std::wstring ErrorText(std::uint32_t code);

}  // namespace cveltrix
