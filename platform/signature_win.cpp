#include "platform/signature_win.h"

#include <windows.h>
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <vector>

#include "core/long_path.h"
#include "platform/unique_handle_win.h"

namespace cveltrix::win {
namespace {

// Whoever else holds the temp file (the run keeps it open while it writes
// and moves it) decides its sharing; this reader denies nothing.
UniqueHandle OpenForReading(const std::wstring& path) {
    return UniqueHandle(::CreateFileW(ExtendedLengthPath(path).c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
}

// One WinVerifyTrust verification whose state stays open for reading the
// signer, and is closed on destruction.
class TrustState {
public:
    TrustState(const std::wstring& path, HANDLE file) : path_(path) {
        fileInfo_.cbStruct = sizeof fileInfo_;
        fileInfo_.pcwszFilePath = path_.c_str();
        fileInfo_.hFile = file;
        data_.cbStruct = sizeof data_;
        data_.dwUIChoice = WTD_UI_NONE;
        // Revocation as far as the machine's cache knows it: the check never
        // waits on a revocation server. A root is trusted by being in the
        // store, so it has nothing to revoke.
        data_.fdwRevocationChecks = WTD_REVOKE_WHOLECHAIN;
        data_.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL | WTD_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT;
        data_.dwUnionChoice = WTD_CHOICE_FILE;
        data_.pFile = &fileInfo_;
        data_.dwStateAction = WTD_STATEACTION_VERIFY;
        result_ = static_cast<std::uint32_t>(Call());
    }
    ~TrustState() {
        data_.dwStateAction = WTD_STATEACTION_CLOSE;
        Call();
    }
    TrustState(const TrustState&) = delete;
    TrustState& operator=(const TrustState&) = delete;

    std::uint32_t Result() const { return result_; }
    // The first signer, with its certificate chain; nothing for an unsigned file.
    const CRYPT_PROVIDER_SGNR* Signer() const {
        CRYPT_PROVIDER_DATA* provider = data_.hWVTStateData ? ::WTHelperProvDataFromStateData(data_.hWVTStateData)
                                                            : nullptr;
        return provider ? ::WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0) : nullptr;
    }

private:
    // No interactive user: WinTrust never shows anything.
    LONG Call() { return ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action_, &data_); }

    std::wstring path_;
    GUID action_ = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    WINTRUST_FILE_INFO fileInfo_{};
    WINTRUST_DATA data_{};
    std::uint32_t result_ = 0;
};

std::wstring SimpleDisplayName(PCCERT_CONTEXT certificate) {
    const DWORD size = ::CertGetNameStringW(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, nullptr, 0);
    std::vector<wchar_t> name(size);
    ::CertGetNameStringW(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, name.data(), size);
    return name.data();
}

}  // namespace

SignatureCheck WinTrustVerifier::Verify(const std::wstring& path) {
    const UniqueHandle file = OpenForReading(path);
    if (file.get() == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        return {static_cast<std::uint32_t>(HRESULT_FROM_WIN32(error)), L"", 0, error};
    }
    const TrustState state(path, file.get());
    SignatureCheck check{state.Result(), L"", 0};
    const CRYPT_PROVIDER_SGNR* signer = state.Signer();
    if (!signer || !signer->pChainContext) return check;
    check.chainErrorStatus = signer->pChainContext->TrustStatus.dwErrorStatus;
    const CERT_SIMPLE_CHAIN* chain = signer->pChainContext->cChain ? signer->pChainContext->rgpChain[0] : nullptr;
    if (chain && chain->cElement) check.signerName = SimpleDisplayName(chain->rgpElement[0]->pCertContext);
    return check;
}

}  // namespace cveltrix::win
