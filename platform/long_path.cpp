#include "platform/long_path.h"

namespace cveltrix {
namespace {

// CreateDirectoryW's limit (MAX_PATH minus an 8.3 file name) is the lowest.
constexpr size_t kShortPathLimit = 248;

}  // namespace

std::wstring ExtendedLengthPath(std::wstring_view path) {
    if (path.size() < kShortPathLimit || path.starts_with(L"\\\\?\\")) return std::wstring(path);
    if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') return L"\\\\?\\" + std::wstring(path);
    if (path.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + std::wstring(path.substr(2));
    return std::wstring(path);
}

}  // namespace cveltrix
