// A build that pins the installer's digest, or names its signer, saves only a
// file that has that digest and signature.
#include "core/integrity.h"

#include <gmock/gmock.h>

#include <algorithm>

#include "run_worker_fixture.h"

namespace cveltrix::test {
namespace {

using testing::ElementsAre;

constexpr const wchar_t* kHex = L"00112233445566778899aabbccddeeffFFEEDDCCBBAA99887766554433221100";

Sha256Digest ExpectedDigest() {
    return {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff,
            0xff, 0xee, 0xdd, 0xcc, 0xbb, 0xaa, 0x99, 0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11, 0x00};
}

TEST(ParseSha256Test, TakesSixtyFourHexDigitsOfEitherCase) {
    EXPECT_EQ(ParseSha256(kHex), ExpectedDigest());
}

TEST(ParseSha256Test, RejectsAnyOtherText) {
    const std::wstring hex = kHex;
    EXPECT_EQ(ParseSha256(L""), std::nullopt);
    EXPECT_EQ(ParseSha256(hex.substr(1)), std::nullopt);
    EXPECT_EQ(ParseSha256(hex + L"0"), std::nullopt);
    EXPECT_EQ(ParseSha256(L"g" + hex.substr(1)), std::nullopt);
    EXPECT_EQ(ParseSha256(hex.substr(0, 63) + L" "), std::nullopt);
    EXPECT_EQ(ParseSha256(L"0x" + hex.substr(2)), std::nullopt);
}

class PinnedWorkerTest : public WorkerTest {
protected:
    PinnedWorkerTest() {
        env.hasher = &hasher;
        env.pin = ExpectedDigest();
        Serve(ProbeAnswer(kLength), WholeAnswer(kLength));
    }

    FakeHasher hasher;
};

TEST_F(PinnedWorkerTest, FileWithThePinnedDigestIsSaved) {
    hasher.digest = ExpectedDigest();
    Run();
    EXPECT_THAT(hasher.hashed, ElementsAre(kTempPath));
    EXPECT_THAT(window.Messages(), ElementsAre(kCompleteShown));
    EXPECT_TRUE(Saved(kLength));
}

// Resuming can never mend wrong bytes, so the next Start begins afresh.
TEST_F(PinnedWorkerTest, FileWithAnotherDigestIsEmptiedAndNotOffered) {
    hasher.digest = Sha256Digest{};
    Run();
    EXPECT_THAT(window.Messages(), ElementsAre(Shown{16, BoxKind::Ok}));
    EXPECT_EQ(window.FolderPrompts(), 0);
    EXPECT_TRUE(TempHolds(0));
    EXPECT_EQ(hasher.openFollowers, 0);
}

TEST_F(PinnedWorkerTest, FileThatCannotBeHashedIsKeptButNotOffered) {
    Run();
    EXPECT_THAT(window.Messages(), ElementsAre(Shown{16, BoxKind::Ok}));
    EXPECT_TRUE(TempHolds(kLength));
}

TEST_F(PinnedWorkerTest, IncompleteFileIsNotHashed) {
    window.CancelAfterChunks(1);
    Run();
    EXPECT_TRUE(hasher.hashed.empty());
    EXPECT_TRUE(window.Messages().empty());
}

// The digest is taken while the bytes arrive, so checking costs almost
// nothing once the last one is written.
TEST_F(PinnedWorkerTest, FollowsTheTransferAndFinishesAtTheFinalSize) {
    hasher.follows = true;
    hasher.digest = ExpectedDigest();
    Run();
    EXPECT_THAT(hasher.followed, ElementsAre(kTempPath));
    EXPECT_TRUE(hasher.hashed.empty());
    ASSERT_FALSE(hasher.grown.empty());
    EXPECT_TRUE(std::is_sorted(hasher.grown.begin(), hasher.grown.end()));
    EXPECT_EQ(hasher.grown.back(), kLength);
    EXPECT_EQ(hasher.finishedAt, kLength);
    EXPECT_TRUE(Saved(kLength));
}

TEST_F(PinnedWorkerTest, FollowingStartsAfterARangeIgnoringServerEmptiedTheFile) {
    files.Put(kTempPath, 1000);
    Serve(ProbeAnswer(kLength), WholeAnswer(kLength));
    hasher.follows = true;
    hasher.digest = ExpectedDigest();
    Run();
    // Counted from the emptied file: the first chunk alone, not 1000 more.
    ASSERT_FALSE(hasher.grown.empty());
    EXPECT_LE(hasher.grown.front(), 16384u);
    EXPECT_TRUE(Saved(kLength));
}

TEST_F(PinnedWorkerTest, AnAlreadyCompleteFileIsHashedWhole) {
    files.Put(kTempPath, kLength);
    Serve(ProbeAnswer(kLength), With(ErrorAnswer(416), [](auto& s) { s.contentRange = L"bytes */50000"; }));
    hasher.follows = true;
    hasher.digest = ExpectedDigest();
    Run();
    EXPECT_TRUE(hasher.followed.empty());
    EXPECT_THAT(hasher.hashed, ElementsAre(kTempPath));
    EXPECT_TRUE(Saved(kLength));
}

// A build that names the installer's signer hands over only a file that
// signer signed, on a chain that ends in a trusted root.
const std::wstring kSigner = L"Cveltrix Throwaway Vendor";
constexpr std::uint32_t kPartialChain = 0x00010000;
constexpr std::uint32_t kUntrustedRoot = 0x00000020;
constexpr std::uint32_t kRevoked = 0x00000004;
constexpr std::uint32_t kNotTimeValid = 0x00000001;
constexpr std::uint32_t kNoSignature = 0x800B0100;
constexpr std::uint32_t kBadDigest = 0x80096010;

struct SignatureCase : NamedCase {
    SignatureCheck found;
    bool accepted;
    // A pinned build, and the file has the pinned digest.
    bool pinMatched = false;
};

class SignatureTableTest : public WorkerTest, public testing::WithParamInterface<SignatureCase> {
protected:
    SignatureTableTest() {
        env.verifier = &verifier;
        env.signer = kSigner;
        Serve(ProbeAnswer(kLength), WholeAnswer(kLength));
    }

    FakeSignatureVerifier verifier;
    FakeHasher hasher;
};

TEST_P(SignatureTableTest, SavesOnlyATrustedSignatureByTheNamedSigner) {
    verifier.found = GetParam().found;
    if (GetParam().pinMatched) {
        env.hasher = &hasher;
        env.pin = hasher.digest = ExpectedDigest();
    }
    Run();
    EXPECT_THAT(verifier.checked, ElementsAre(kTempPath));
    if (GetParam().accepted) {
        EXPECT_THAT(window.Messages(), ElementsAre(kCompleteShown));
        EXPECT_TRUE(Saved(kLength));
        return;
    }
    // Never offered, one line with the reason. Bytes the pin proved are
    // kept: only this machine's trust refused them. Others go, as for a
    // wrong digest.
    EXPECT_THAT(window.Messages(), ElementsAre(Shown{16, BoxKind::Ok}));
    EXPECT_EQ(window.FolderPrompts(), 0);
    EXPECT_TRUE(TempHolds(GetParam().pinMatched ? kLength : 0));
    ASSERT_EQ(window.Failures().size(), 1u);
    EXPECT_EQ(window.Failures()[0].id, msg::Damaged);
    EXPECT_EQ(window.Failures()[0].reason.find(L"pinned") != std::wstring::npos, GetParam().pinMatched);
}

INSTANTIATE_TEST_SUITE_P(
    Checks, SignatureTableTest,
    testing::Values(
        SignatureCase{"Trusted", {0, kSigner, 0}, true},
        // Revocation unknown (no lists, or offline) is what every offline machine sees.
        SignatureCase{"RevocationUnknown", {0, kSigner, kChainRevocationStatusUnknown}, true},
        SignatureCase{"RevocationOffline",
                      {0, kSigner, kChainRevocationStatusUnknown | kChainOfflineRevocation}, true},
        SignatureCase{"ResultRevocationFailure", {kTrustRevocationFailure, kSigner, kChainRevocationStatusUnknown},
                      true},
        SignatureCase{"ResultRevocationOffline",
                      {kTrustRevocationOffline, kSigner, kChainRevocationStatusUnknown | kChainOfflineRevocation},
                      true},
        // A revocation result the chain does not bear out, or a revoked certificate.
        SignatureCase{"ResultRevocationFailureOnASoundChain", {kTrustRevocationFailure, kSigner, 0}, false},
        SignatureCase{"ResultNoRevocationCheckButRevoked",
                      {kTrustNoRevocationCheck, kSigner, kRevoked | kChainRevocationStatusUnknown}, false},
        SignatureCase{"Unsigned", {kNoSignature, L"", 0}, false},
        SignatureCase{"ChangedAfterSigning", {kBadDigest, kSigner, 0}, false},
        SignatureCase{"AnotherSigner", {0, L"Someone Else", 0}, false},
        SignatureCase{"SignerNameExtended", {0, kSigner + L" Ltd", 0}, false},
        SignatureCase{"SignerNameInOtherCase", {0, L"cveltrix throwaway vendor", 0}, false},
        // What Wine's WinTrust passes: a chain to a root nobody trusts.
        SignatureCase{"PartialChainPassedByThePlatform", {0, kSigner, kPartialChain}, false},
        SignatureCase{"UntrustedRoot", {0, kSigner, kUntrustedRoot | kChainRevocationStatusUnknown}, false},
        SignatureCase{"Expired", {0, kSigner, kNotTimeValid}, false},
        SignatureCase{"TrustedWithThePinMatched", {0, kSigner, 0}, true, true},
        SignatureCase{"UntrustedRootWithThePinMatched", {0, kSigner, kUntrustedRoot}, false, true},
        SignatureCase{"ExpiredWithThePinMatched", {0, kSigner, kNotTimeValid}, false, true}),
    CaseName<SignatureCase>);

// No verdict on a file the check could not open: it is kept for the next try.
TEST_F(SignatureTableTest, AFileTheCheckCannotOpenIsKept) {
    verifier.found = {0x80070020, L"", 0, 32};
    Run();
    EXPECT_THAT(window.Messages(), ElementsAre(Shown{16, BoxKind::Ok}));
    EXPECT_EQ(window.FolderPrompts(), 0);
    EXPECT_TRUE(TempHolds(kLength));
    ASSERT_EQ(window.Failures().size(), 1u);
    EXPECT_THAT(window.Failures()[0].reason, testing::HasSubstr(L"error 32"));
}

TEST_F(SignatureTableTest, TheFailureLineNamesResultSignerAndChain) {
    verifier.found = {0, kSigner, kPartialChain | kChainRevocationStatusUnknown};
    Run();
    ASSERT_EQ(window.Failures().size(), 1u);
    EXPECT_THAT(window.Failures()[0].reason,
                testing::HasSubstr(L"trust result 0x00000000, signer \"Cveltrix Throwaway Vendor\", "
                                   L"chain status 0x00010040"));
}

// The pin is checked first: a file with the wrong digest is not looked at.
TEST_F(SignatureTableTest, APinnedBuildChecksTheSignatureOnlyOfTheRightBytes) {
    FakeHasher hasher;
    env.hasher = &hasher;
    env.pin = ExpectedDigest();
    hasher.digest = Sha256Digest{};
    verifier.found = {0, kSigner, 0};
    Run();
    EXPECT_TRUE(verifier.checked.empty());
    EXPECT_THAT(window.Messages(), ElementsAre(Shown{16, BoxKind::Ok}));
}

TEST_F(WorkerTest, WithoutAPinOrASignerNothingIsChecked) {
    FakeHasher hasher;
    FakeSignatureVerifier verifier;
    env.hasher = &hasher;
    env.verifier = &verifier;
    Serve(ProbeAnswer(kLength), WholeAnswer(kLength));
    Run();
    EXPECT_TRUE(hasher.hashed.empty());
    EXPECT_TRUE(verifier.checked.empty());
    EXPECT_TRUE(Saved(kLength));
}

}  // namespace
}  // namespace cveltrix::test
