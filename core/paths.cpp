#include "core/paths.h"

#include <algorithm>

#include "core/text_case.h"
#include "core/url.h"

namespace cveltrix {

PathParts SplitPath(std::wstring_view path) {
    PathParts parts;
    if (path.size() >= 2 && path[1] == L':') {
        parts.drive = std::wstring(path.substr(0, 2));
        path.remove_prefix(2);
    }
    const size_t lastSep = path.find_last_of(L"/\\");
    if (lastSep != std::wstring_view::npos) {
        parts.dir = std::wstring(path.substr(0, lastSep + 1));
        path.remove_prefix(lastSep + 1);
    }
    const size_t lastDot = path.rfind(L'.');
    if (lastDot != std::wstring_view::npos) {
        parts.ext = std::wstring(path.substr(lastDot));
        path = path.substr(0, lastDot);
    }
    parts.name = std::wstring(path);
    return parts;
}

std::wstring FolderOf(std::wstring_view path) {
    PathParts parts = SplitPath(path);
    return parts.drive + parts.dir;
}

namespace {

// Names Windows keeps for devices, whatever extension follows them.
bool IsDeviceName(std::wstring_view name) {
    const std::wstring_view base = name.substr(0, name.find(L'.'));
    static constexpr std::wstring_view kDevices[] = {L"con", L"prn", L"aux", L"nul"};
    const auto isBase = [&](std::wstring_view device) { return EqualsNoCase(base, device); };
    if (std::any_of(std::begin(kDevices), std::end(kDevices), isBase)) return true;
    return base.size() == 4 && (StartsWithNoCase(base, L"com") || StartsWithNoCase(base, L"lpt")) &&
           base[3] >= L'1' && base[3] <= L'9';
}

// A name Windows takes for a file as it stands: it would silently drop a
// trailing dot or blank, and refuses the rest.
bool IsFileName(std::wstring_view name) {
    const bool refusedCharacter = std::any_of(name.begin(), name.end(), [](wchar_t c) {
        return c < 0x20 || std::wstring_view(L"<>:\"/\\|?*").find(c) != std::wstring_view::npos;
    });
    return !name.empty() && !refusedCharacter && name.back() != L'.' && name.back() != L' ' && !IsDeviceName(name);
}

}  // namespace

std::wstring FileNameOf(std::wstring_view url) {
    const std::wstring path = PathOf(std::wstring(url));
    const std::wstring segment = path.substr(std::min(path.find_last_of(L"/\\") + 1, path.size()));
    const auto decoded = PercentDecoded(segment);
    return decoded && IsFileName(*decoded) ? *decoded : segment;
}

std::wstring BuildTempPath(std::wstring_view exePath, std::wstring_view url) {
    return FolderOf(exePath) + FileNameOf(url) + L"_temp";
}

std::wstring BuildDestinationPath(std::wstring_view folder, std::wstring_view url) {
    return std::wstring(folder) + L"\\" + FileNameOf(url);
}

std::wstring ValidatorPathFor(std::wstring_view tempPath) { return std::wstring(tempPath) + L".validator"; }

}  // namespace cveltrix
