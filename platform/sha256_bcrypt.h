// SHA-256 of a file with the platform's own cryptography (CNG).
#pragma once

#include "core/integrity.h"

namespace cveltrix::win {

class BCryptFileHasher final : public FileHasher {
public:
    std::optional<Sha256Digest> Sha256OfFile(const std::wstring& path) override;
    // Reads the file on a thread of its own while it grows, in large blocks.
    std::unique_ptr<GrowingFileHasher> Follow(const std::wstring& path) override;
};

}  // namespace cveltrix::win
