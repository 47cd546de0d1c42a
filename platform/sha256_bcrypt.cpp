#include "platform/sha256_bcrypt.h"

#include <windows.h>
#include <bcrypt.h>

#include <vector>

#include "platform/long_path.h"
#include "platform/unique_handle_win.h"

namespace cveltrix::win {
namespace {

// Large blocks keep the per-call overhead small against the hashing itself.
constexpr DWORD kBlockSize = 1u << 20;

struct CloseAlgorithm {
    void operator()(BCRYPT_ALG_HANDLE h) const { ::BCryptCloseAlgorithmProvider(h, 0); }
};
struct DestroyHash {
    void operator()(BCRYPT_HASH_HANDLE h) const { ::BCryptDestroyHash(h); }
};
using UniqueAlgorithm = std::unique_ptr<void, CloseAlgorithm>;
using UniqueHash = std::unique_ptr<void, DestroyHash>;

bool Succeeded(NTSTATUS status) { return status >= 0; }

}  // namespace

std::optional<Sha256Digest> BCryptFileHasher::Sha256OfFile(const std::wstring& path) {
    UniqueHandle file(::CreateFileW(ExtendedLengthPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) return std::nullopt;

    BCRYPT_ALG_HANDLE rawAlgorithm = nullptr;
    if (!Succeeded(::BCryptOpenAlgorithmProvider(&rawAlgorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
        return std::nullopt;
    }
    const UniqueAlgorithm algorithm(rawAlgorithm);
    BCRYPT_HASH_HANDLE rawHash = nullptr;
    if (!Succeeded(::BCryptCreateHash(rawAlgorithm, &rawHash, nullptr, 0, nullptr, 0, 0))) return std::nullopt;
    const UniqueHash hash(rawHash);

    std::vector<UCHAR> block(kBlockSize);
    for (;;) {
        DWORD read = 0;
        if (!::ReadFile(file.get(), block.data(), kBlockSize, &read, nullptr)) return std::nullopt;
        if (read == 0) break;
        if (!Succeeded(::BCryptHashData(rawHash, block.data(), read, 0))) return std::nullopt;
    }
    Sha256Digest digest{};
    if (!Succeeded(::BCryptFinishHash(rawHash, digest.data(), static_cast<ULONG>(digest.size()), 0))) {
        return std::nullopt;
    }
    return digest;
}

}  // namespace cveltrix::win
