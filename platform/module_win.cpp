#include "platform/module_win.h"

#include <windows.h>

#include "core/paths.h"

namespace cveltrix::win {

std::wstring ExecutablePath() {
    // GetModuleFileNameW truncates silently when the buffer is short, so grow
    // it until the path fits with room for the terminator.
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::wstring ApplicationName() { return SplitPath(ExecutablePath()).name; }

void WriteDebugLine(const std::wstring& line) { ::OutputDebugStringW((ApplicationName() + L": " + line + L"\n").c_str()); }

}  // namespace cveltrix::win
