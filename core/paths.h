// Local names derived from the download URL: the split rule, the temp file
// beside the executable and the destination in the folder the user chose.
#pragma once

#include <string>
#include <string_view>

namespace cveltrix {

// The parts of a path or URL by the classic splitting rule. The extension
// keeps its leading dot; the directory keeps its trailing separator.
struct PathParts {
    std::wstring drive;
    std::wstring dir;
    std::wstring name;
    std::wstring ext;
};

// Drive only when the second character is ':'; directory up to and including
// the last '/' or '\'; extension from the last '.' after it. Parts are never
// cut short, however long the input.
PathParts SplitPath(std::wstring_view path);

// Drive + directory of `path`: the folder with its trailing separator.
std::wstring FolderOf(std::wstring_view path);

// The last segment of the URL's path, e.g. "Setup.exe": never a query or a
// fragment; percent-decoded where that gives a name Windows takes as it
// stands, and as written otherwise.
std::wstring FileNameOf(std::wstring_view url);

// Executable's folder + URL file name + "_temp"; depends only on the
// executable's own path, never on the current directory.
std::wstring BuildTempPath(std::wstring_view exePath, std::wstring_view url);

// Chosen folder + "\" + URL file name. The separator is always inserted, so
// a drive root like "D:\" gives a doubled one, which the file system accepts.
std::wstring BuildDestinationPath(std::wstring_view folder, std::wstring_view url);

// Beside the temp file: which version of the file its first byte came from.
std::wstring ValidatorPathFor(std::wstring_view tempPath);

}  // namespace cveltrix
