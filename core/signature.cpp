#include "core/signature.h"

#include <cwchar>

namespace cveltrix {
namespace {

bool RevocationUnknownOnly(std::uint32_t trustResult) {
    return trustResult == kTrustRevocationFailure || trustResult == kTrustNoRevocationCheck ||
           trustResult == kTrustRevocationOffline;
}

std::wstring Hex32(std::uint32_t value) {
    wchar_t text[11];
    std::swprintf(text, 11, L"0x%08X", static_cast<unsigned>(value));
    return text;
}

}  // namespace

bool SignatureAccepted(const SignatureCheck& check, std::wstring_view expectedSigner) {
    constexpr std::uint32_t kRevocationBits = kChainRevocationStatusUnknown | kChainOfflineRevocation;
    const bool chainSound = (check.chainErrorStatus & ~kRevocationBits) == 0;
    const bool valid = check.trustResult == 0 ||
                       (RevocationUnknownOnly(check.trustResult) && (check.chainErrorStatus & kRevocationBits) != 0);
    return valid && chainSound && !check.signerName.empty() && check.signerName == expectedSigner;
}

std::wstring SignatureText(const SignatureCheck& check) {
    return L"trust result " + Hex32(check.trustResult) + L", signer \"" + check.signerName + L"\", chain status " +
           Hex32(check.chainErrorStatus);
}

}  // namespace cveltrix
