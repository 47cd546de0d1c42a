// Files as the download logic sees them. Windows backs them with Win32 file
// handles; tests give them fakes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace cveltrix {

// An open file; destruction closes it.
class File {
public:
    virtual ~File() = default;
    virtual std::optional<std::uint64_t> Size() = 0;
    virtual bool SeekToEnd() = 0;
    // Appends at the current position; returns how many bytes were written.
    virtual std::uint64_t Write(std::span<const std::byte> data) = 0;
    // Cuts the file to its first `size` bytes and moves the position to
    // that end.
    virtual bool TruncateTo(std::uint64_t size) = 0;
    // Renames the file, through this handle, to `to`, replacing a file of
    // that name; never copies, so `to` must be on the same volume. The file
    // stays open under its new name.
    virtual bool MoveReplacing(const std::wstring& to) = 0;
    // The platform's error code of this file's last failed call; 0 when
    // none failed.
    virtual std::uint32_t LastError() const = 0;
};

// The platform's error code for a file that another process holds open in
// a way that keeps this open out.
inline constexpr std::uint32_t kErrorSharingViolation = 32;
// ... and for a file this one may not touch now (one being deleted, say, or
// held by a scanner).
inline constexpr std::uint32_t kErrorAccessDenied = 5;

class FileSystem {
public:
    virtual ~FileSystem() = default;
    // Read/write and allowed to be renamed, shared for reading only, so
    // that nobody else changes it while it is open; created empty when
    // absent.
    virtual std::unique_ptr<File> OpenAlways(const std::wstring& path) = 0;
    virtual bool Delete(const std::wstring& path) = 0;
    // A small text file (a line or two), or a stream "file:name": read
    // whole, or created or replaced whole, in UTF-8. Nothing when it is
    // absent or cannot be read.
    virtual std::optional<std::wstring> ReadText(const std::wstring& path) = 0;
    virtual bool WriteText(const std::wstring& path, const std::wstring& text) = 0;
    // The platform's error code of the last call here that failed; 0 when
    // none failed.
    virtual std::uint32_t LastError() const = 0;
};

}  // namespace cveltrix
