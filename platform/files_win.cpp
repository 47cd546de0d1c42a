#include "platform/files_win.h"

#include <algorithm>
#include <string>

#include "platform/long_path.h"
#include "platform/unique_handle_win.h"

namespace cveltrix::win {
namespace {

class WinFile final : public File {
public:
    explicit WinFile(UniqueHandle handle) : handle_(std::move(handle)) {}

    std::optional<std::uint64_t> Size() override {
        LARGE_INTEGER size{};
        if (!::GetFileSizeEx(handle_.get(), &size)) return error_.Failed(std::nullopt);
        return static_cast<std::uint64_t>(size.QuadPart);
    }

    bool SeekToEnd() override {
        return ::SetFilePointerEx(handle_.get(), LARGE_INTEGER{}, nullptr, FILE_END) || error_.Failed(false);
    }

    std::uint64_t Write(std::span<const std::byte> data) override {
        std::uint64_t total = 0;
        while (total < data.size()) {
            const DWORD part = static_cast<DWORD>(std::min<std::uint64_t>(data.size() - total, 1u << 30));
            DWORD written = 0;
            if (!::WriteFile(handle_.get(), data.data() + total, part, &written, nullptr) || written == 0) {
                return error_.Failed(total);
            }
            total += written;
        }
        return total;
    }

    bool Truncate() override {
        return (::SetFilePointerEx(handle_.get(), LARGE_INTEGER{}, nullptr, FILE_BEGIN) &&
                ::SetEndOfFile(handle_.get())) ||
               error_.Failed(false);
    }

    std::uint32_t LastError() const override { return error_.Code(); }

private:
    UniqueHandle handle_;
    KeptError error_;
};

}  // namespace

std::unique_ptr<File> WinFileSystem::OpenAlways(const std::wstring& path) {
    UniqueHandle handle(::CreateFileW(ExtendedLengthPath(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (handle.get() == INVALID_HANDLE_VALUE) return error_.Failed(nullptr);
    return std::make_unique<WinFile>(std::move(handle));
}

bool WinFileSystem::Delete(const std::wstring& path) {
    return ::DeleteFileW(ExtendedLengthPath(path).c_str()) || error_.Failed(false);
}

bool WinFileSystem::MoveReplacing(const std::wstring& from, const std::wstring& to) {
    // No MOVEFILE_COPY_ALLOWED: a folder on another volume fails instead of
    // silently copying.
    return ::MoveFileExW(ExtendedLengthPath(from).c_str(), ExtendedLengthPath(to).c_str(), MOVEFILE_REPLACE_EXISTING) ||
           error_.Failed(false);
}

bool WinFileSystem::WriteText(const std::wstring& path, const std::wstring& text) {
    const int length = static_cast<int>(text.size());
    const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(bytes), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), length, utf8.data(), bytes, nullptr, nullptr);
    UniqueHandle handle(::CreateFileW(ExtendedLengthPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (handle.get() == INVALID_HANDLE_VALUE) return error_.Failed(false);
    DWORD written = 0;
    return (::WriteFile(handle.get(), utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr) &&
            written == utf8.size()) ||
           error_.Failed(false);
}

}  // namespace cveltrix::win
