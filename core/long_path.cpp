#include "core/long_path.h"

#include <algorithm>

namespace cveltrix {
namespace {

// CreateDirectoryW's limit (MAX_PATH minus an 8.3 file name) is the lowest.
constexpr size_t kShortPathLimit = 248;

}  // namespace

std::wstring ExtendedLengthPath(std::wstring_view path) {
    if (path.size() < kShortPathLimit || path.starts_with(L"\\\\?\\")) return std::wstring(path);
    // The prefix turns off the system's tidying, so separators are made
    // uniform first.
    std::wstring uniform(path);
    std::replace(uniform.begin(), uniform.end(), L'/', L'\\');
    if (uniform.size() >= 3 && uniform[1] == L':' && uniform[2] == L'\\') return L"\\\\?\\" + uniform;
    if (uniform.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + uniform.substr(2);
    return std::wstring(path);
}

}  // namespace cveltrix
