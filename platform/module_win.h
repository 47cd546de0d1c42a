// The executable's own path, whatever its length.
#pragma once

#include <string>

namespace cveltrix::win {

std::wstring ExecutablePath();

// The executable's file name without extension: the caption of message boxes.
std::wstring ApplicationName();

// One line for a debugger (DebugView, say), prefixed with the application
// name; nothing is stored.
void WriteDebugLine(const std::wstring& line);

}  // namespace cveltrix::win
