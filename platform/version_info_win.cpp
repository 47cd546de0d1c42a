#include "platform/version_info_win.h"

#include <windows.h>

#include <vector>

#include "core/version_path.h"
#include "platform/module_win.h"

namespace cveltrix::win {

std::wstring ReadVersionValue(std::wstring_view name) {
    const std::wstring path = ExecutablePath();
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) return {};
    std::vector<BYTE> block(size);
    if (!::GetFileVersionInfoW(path.c_str(), 0, size, block.data())) return {};

    struct Translation {
        WORD language;
        WORD codePage;
    };
    void* found = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &found, &length) ||
        length < sizeof(Translation)) {
        return {};
    }
    const auto* first = static_cast<const Translation*>(found);
    const std::wstring valuePath = VersionValuePath(first->language, first->codePage, name);
    if (!::VerQueryValueW(block.data(), valuePath.c_str(), &found, &length) || length == 0) return {};
    return std::wstring(static_cast<const wchar_t*>(found));
}

}  // namespace cveltrix::win
