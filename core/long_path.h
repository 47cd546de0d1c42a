// Absolute Windows paths past MAX_PATH need the extended-length prefix for
// the file APIs on systems that are not long-path aware.
#pragma once

#include <string>
#include <string_view>

namespace cveltrix {

// "C:\x" -> "\\?\C:\x" and "\\server\share\x" -> "\\?\UNC\server\share\x"
// when the path is long; short, relative and already prefixed paths are
// returned unchanged.
std::wstring ExtendedLengthPath(std::wstring_view path);

}  // namespace cveltrix
