// The build can pin the installer's SHA-256; a complete download is checked
// against it before it is offered for saving.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace cveltrix {

using Sha256Digest = std::array<std::uint8_t, 32>;

// 64 hexadecimal digits, either case; nothing for any other text (an empty
// one means the build pins nothing).
std::optional<Sha256Digest> ParseSha256(std::wstring_view hex);

class FileHasher {
public:
    virtual ~FileHasher() = default;
    // The digest of the file's whole content; nothing when it cannot be read.
    virtual std::optional<Sha256Digest> Sha256OfFile(const std::wstring& path) = 0;
};

}  // namespace cveltrix
