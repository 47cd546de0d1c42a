#include "core/paths.h"

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

std::wstring FileNameOf(std::wstring_view url) {
    PathParts parts = SplitPath(url);
    return parts.name + parts.ext;
}

std::wstring BuildTempPath(std::wstring_view exePath, std::wstring_view url) {
    return FolderOf(exePath) + FileNameOf(url) + L"_temp";
}

std::wstring BuildDestinationPath(std::wstring_view folder, std::wstring_view url) {
    return std::wstring(folder) + L"\\" + FileNameOf(url);
}

std::wstring ValidatorPathFor(std::wstring_view tempPath) { return std::wstring(tempPath) + L".validator"; }

}  // namespace cveltrix
