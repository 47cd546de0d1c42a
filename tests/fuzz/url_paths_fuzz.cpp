// The URL's split and the local paths built from it. Input: the
// executable's path, a line break, the URL (one text serves as both when
// there is no line break).
#include "core/paths.h"
#include "tests/fuzz/fuzz_support.h"

using namespace cveltrix;
using namespace cveltrix::fuzz;

namespace {

bool HasSeparator(std::wstring_view text) { return text.find_first_of(L"/\\") != std::wstring_view::npos; }

void CheckSplit(const std::wstring& path) {
    const PathParts parts = SplitPath(path);
    Require(parts.drive + parts.dir + parts.name + parts.ext == path, "the parts join back to the path");
    Require(parts.drive.empty() == !(path.size() >= 2 && path[1] == L':'), "a drive iff the second character is ':'");
    Require(parts.dir.empty() || parts.dir.back() == L'/' || parts.dir.back() == L'\\',
            "the directory ends with its separator");
    Require(!HasSeparator(parts.name + parts.ext), "name and extension hold no separator");
    Require(parts.ext.empty() ? parts.name.find(L'.') == std::wstring::npos
                              : parts.ext[0] == L'.' && parts.ext.find(L'.', 1) == std::wstring::npos,
            "the extension starts at the last dot");
    Require(FolderOf(path) == parts.drive + parts.dir, "the folder is drive and directory");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::wstring text = TextOf(data, size);
    const std::size_t lineBreak = text.find(L'\n');
    const std::wstring exePath = text.substr(0, lineBreak);
    const std::wstring url = lineBreak == std::wstring::npos ? text : text.substr(lineBreak + 1);
    CheckSplit(exePath);
    CheckSplit(url);

    const std::wstring fileName = FileNameOf(url);
    Require(!HasSeparator(fileName), "the file name holds no separator");
    Require(url.find_first_of(L"?#%") != std::wstring::npos || url.ends_with(fileName),
            "without a query, a fragment or an escape, the file name is the URL's last segment");
    const std::wstring temp = BuildTempPath(exePath, url);
    Require(temp.starts_with(FolderOf(exePath)) && temp.ends_with(fileName + L"_temp") &&
                temp.size() == FolderOf(exePath).size() + fileName.size() + 5,
            "the temp path is the executable's folder, the file name and \"_temp\"");
    Require(BuildDestinationPath(exePath, url) == exePath + L"\\" + fileName,
            "the destination is the folder, one separator and the file name");
    return 0;
}
