// Authenticode signatures checked by WinTrust.
#pragma once

#include "core/signature.h"

namespace cveltrix::win {

class WinTrustVerifier final : public SignatureVerifier {
public:
    SignatureCheck Verify(const std::wstring& path) override;
};

}  // namespace cveltrix::win
