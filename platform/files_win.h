// Files through Win32 handles.
#pragma once

#include "download/file.h"

namespace cveltrix::win {

class WinFileSystem final : public FileSystem {
public:
    std::unique_ptr<File> OpenAlways(const std::wstring& path) override;
    bool Delete(const std::wstring& path) override;
    bool MoveReplacing(const std::wstring& from, const std::wstring& to) override;
};

}  // namespace cveltrix::win
