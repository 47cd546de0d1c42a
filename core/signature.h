// A build can name the vendor who signs the installer; a complete download is
// handed over only with a valid signature by that name, on a chain that ends
// in a root the machine trusts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace cveltrix {

// What the platform found in a file's signature.
struct SignatureCheck {
    // The platform's verdict on the signature: 0 when it is valid.
    std::uint32_t trustResult = 0;
    // The signing certificate's simple display name; empty when none was found.
    std::wstring signerName;
    // The signer chain's trust error bits (CERT_TRUST_STATUS.dwErrorStatus).
    std::uint32_t chainErrorStatus = 0;
    // The platform's error code when the file could not be opened for the
    // check; 0 when it was. Only a check that ran says anything of the file.
    std::uint32_t openError = 0;
};

// Chain error bits that say only that revocation could not be checked: a
// machine offline, or certificates without revocation lists.
inline constexpr std::uint32_t kChainRevocationStatusUnknown = 0x00000040;
inline constexpr std::uint32_t kChainOfflineRevocation = 0x01000000;

// Trust results that say only that revocation could not be checked
// (CERT_E_REVOCATION_FAILURE, CRYPT_E_NO_REVOCATION_CHECK,
// CRYPT_E_REVOCATION_OFFLINE).
inline constexpr std::uint32_t kTrustRevocationFailure = 0x800B010E;
inline constexpr std::uint32_t kTrustNoRevocationCheck = 0x80092012;
inline constexpr std::uint32_t kTrustRevocationOffline = 0x80092013;

class SignatureVerifier {
public:
    virtual ~SignatureVerifier() = default;
    // Checks the signature of the file at `path`, never waiting on the network.
    virtual SignatureCheck Verify(const std::wstring& path) = 0;
};

// The signature is valid, by `expectedSigner`, and its chain is sound apart
// from revocation being unknown; a trust result that objects to that alone
// counts as valid. The chain is judged here too, because a platform may pass
// a chain that ends in an untrusted root.
bool SignatureAccepted(const SignatureCheck& check, std::wstring_view expectedSigner);

// "trust result 0x800B0100, signer "Name", chain status 0x00010000".
std::wstring SignatureText(const SignatureCheck& check);

}  // namespace cveltrix
