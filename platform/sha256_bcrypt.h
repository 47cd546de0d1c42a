// SHA-256 of a file with the platform's own cryptography (CNG).
#pragma once

#include "download/integrity.h"

namespace cveltrix::win {

class BCryptFileHasher final : public FileHasher {
public:
    std::optional<Sha256Digest> Sha256OfFile(const std::wstring& path) override;
};

}  // namespace cveltrix::win
