// The build can pin the installer's SHA-256; a complete download is checked
// against it before it is offered for saving.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace cveltrix {

using Sha256Digest = std::array<std::uint8_t, 32>;

// 64 hexadecimal digits, either case; nothing for any other text (an empty
// one means the build pins nothing).
std::optional<Sha256Digest> ParseSha256(std::wstring_view hex);

// Hashes a file while another party appends to it, so that the digest is
// ready almost as soon as the last byte is written.
class GrowingFileHasher {
public:
    virtual ~GrowingFileHasher() = default;
    // The first `size` bytes are written and will not change.
    virtual void Grown(std::uint64_t size) = 0;
    // The digest of the first `size` bytes, once they are hashed; nothing
    // when the file could not be read.
    virtual std::optional<Sha256Digest> Finish(std::uint64_t size) = 0;
    // Stops at once and lets go of the file, from any thread; Finish then
    // gives nothing.
    virtual void Abandon() = 0;
};

class FileHasher {
public:
    virtual ~FileHasher() = default;
    // The digest of the file's whole content; nothing when it cannot be read.
    virtual std::optional<Sha256Digest> Sha256OfFile(const std::wstring& path) = 0;
    // A hasher that follows the file from its first byte while it grows;
    // nothing when following is not possible (Sha256OfFile then serves).
    virtual std::unique_ptr<GrowingFileHasher> Follow(const std::wstring&) { return nullptr; }
};

}  // namespace cveltrix
