#include "platform/files_win.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "core/long_path.h"
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

    bool TruncateTo(std::uint64_t size) override {
        LARGE_INTEGER end{};
        end.QuadPart = static_cast<LONGLONG>(size);
        return (::SetFilePointerEx(handle_.get(), end, nullptr, FILE_BEGIN) && ::SetEndOfFile(handle_.get())) ||
               error_.Failed(false);
    }

    // Through the handle, so that the file moved is the one this handle has
    // kept from other writers, not whatever carries its name by then.
    bool MoveReplacing(const std::wstring& to) override {
        const std::wstring target = ExtendedLengthPath(to);
        const std::size_t nameBytes = target.size() * sizeof(wchar_t);
        // The name runs on past the structure's one-character array.
        std::vector<std::byte> buffer(sizeof(FILE_RENAME_INFO) + nameBytes);
        auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
        info->ReplaceIfExists = TRUE;
        info->RootDirectory = nullptr;
        info->FileNameLength = static_cast<DWORD>(nameBytes);
        std::copy_n(target.c_str(), target.size() + 1, info->FileName);
        return ::SetFileInformationByHandle(handle_.get(), FileRenameInfo, info, static_cast<DWORD>(buffer.size())) ||
               error_.Failed(false);
    }

    std::uint32_t LastError() const override { return error_.Code(); }

private:
    UniqueHandle handle_;
    KeptError error_;
};

}  // namespace

// DELETE access lets the finished file be moved through this very handle;
// sharing only reading keeps every other writer out while it is open.
std::unique_ptr<File> WinFileSystem::OpenAlways(const std::wstring& path) {
    UniqueHandle handle(::CreateFileW(ExtendedLengthPath(path).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                                      FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (handle.get() == INVALID_HANDLE_VALUE) return error_.Failed(nullptr);
    return std::make_unique<WinFile>(std::move(handle));
}

bool WinFileSystem::Delete(const std::wstring& path) {
    return ::DeleteFileW(ExtendedLengthPath(path).c_str()) || error_.Failed(false);
}

namespace {

// Far more than a line or two: anything larger is not ours.
constexpr DWORD kMaxTextBytes = 4096;

}  // namespace

// Stored as UTF-8, as small text files beside programs usually are.
std::optional<std::wstring> WinFileSystem::ReadText(const std::wstring& path) {
    const UniqueHandle file(::CreateFileW(ExtendedLengthPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) return error_.Failed(std::nullopt);
    std::string bytes(kMaxTextBytes, '\0');
    DWORD read = 0;
    if (!::ReadFile(file.get(), bytes.data(), kMaxTextBytes, &read, nullptr)) return error_.Failed(std::nullopt);
    if (read == 0 || read == kMaxTextBytes) return std::nullopt;
    const int count = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(read),
                                            nullptr, 0);
    if (count <= 0) return error_.Failed(std::nullopt);
    std::wstring text(static_cast<std::size_t>(count), L'\0');
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(read), text.data(), count);
    return text;
}

bool WinFileSystem::WriteText(const std::wstring& path, const std::wstring& text) {
    const int count =
        ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(std::max(count, 0)), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(), count, nullptr,
                          nullptr);
    const UniqueHandle file(::CreateFileW(ExtendedLengthPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) return error_.Failed(false);
    DWORD written = 0;
    return (::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
            written == bytes.size()) ||
           error_.Failed(false);
}

}  // namespace cveltrix::win
