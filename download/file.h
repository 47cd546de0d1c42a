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
    // Cuts the file to 0 bytes and moves the position to its start.
    virtual bool Truncate() = 0;
    // The platform's error code of this file's last failed call; 0 when
    // none failed.
    virtual std::uint32_t LastError() const = 0;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;
    // Read/write, shared for reading, created empty when absent.
    virtual std::unique_ptr<File> OpenAlways(const std::wstring& path) = 0;
    virtual bool Delete(const std::wstring& path) = 0;
    // A rename that replaces an existing file and never copies.
    virtual bool MoveReplacing(const std::wstring& from, const std::wstring& to) = 0;
    // Creates or replaces a small file, or a stream "file:name", holding
    // `text` in UTF-8.
    virtual bool WriteText(const std::wstring& path, const std::wstring& text) = 0;
    // The platform's error code of the last call here that failed; 0 when
    // none failed.
    virtual std::uint32_t LastError() const = 0;
};

}  // namespace cveltrix
