// Files through Win32 handles.
#pragma once

#include "core/file.h"
#include "platform/last_error_win.h"

namespace cveltrix::win {

class WinFileSystem final : public FileSystem {
public:
    std::unique_ptr<File> OpenAlways(const std::wstring& path) override;
    bool Delete(const std::wstring& path) override;
    std::optional<std::wstring> ReadText(const std::wstring& path) override;
    bool WriteText(const std::wstring& path, const std::wstring& text) override;
    std::uint32_t LastError() const override { return error_.Code(); }

private:
    KeptError error_;
};

}  // namespace cveltrix::win
