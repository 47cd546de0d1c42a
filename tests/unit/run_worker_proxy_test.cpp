// Runs through the user's proxy (mode 0).
#include <gmock/gmock.h>

#include "run_worker_fixture.h"

namespace cveltrix::test {
namespace {

using testing::Contains;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::Not;

RequestScript BehindLogin(RequestScript answer, std::wstring password = L"s3cret", std::uint32_t refusal = 407) {
    answer.proxyAuth = ProxyAuth{L"alice", std::move(password), refusal};
    return answer;
}

class ProxyWorkerTest : public WorkerTest {
protected:
    void ExpectCredentialsWiped() const {
        EXPECT_EQ(env.settings.userName, L"");
        EXPECT_EQ(env.settings.password, L"");
    }
};

TEST_F(ProxyWorkerTest, ResumesThroughALoginProxyAndWipesTheCredentialsAfterwards) {
    UseProxy(L"alice", L"s3cret");
    files.Put(kTempPath, 1000);
    Serve(BehindLogin(ProbeAnswer(kLength)), BehindLogin(PartialAnswer(1000, kLength)));
    Run();
    EXPECT_THAT(http.Sent(), ElementsAre(L"HEAD", L"GET Range: bytes=1000-"));
    ASSERT_EQ(http.Requests().size(), 2u);
    EXPECT_THAT(http.Requests()[1]->userNamesSet, ElementsAre(L"alice"));
    EXPECT_THAT(http.Requests()[1]->passwordsSet, ElementsAre(L"s3cret"));
    // Offered to the client too, for the challenges it answers by itself.
    for (const OpenedUrl& opened : http.Opened()) {
        EXPECT_EQ(opened.proxyUserName, L"alice");
        EXPECT_EQ(opened.proxyPassword, L"s3cret");
    }
    EXPECT_TRUE(Saved(kLength));
    ExpectCredentialsWiped();
}

TEST_F(ProxyWorkerTest, PassesLongProxyTextsAndCredentialsWhole) {
    const std::wstring user(100, L'u');
    const std::wstring password = std::wstring(99, L'p') + L"#";
    UseProxy(user, password);
    env.settings.address = std::wstring(70, L'a') + L".example";
    auto login = [&](RequestScript answer) {
        answer.proxyAuth = ProxyAuth{user, password};
        return answer;
    };
    Serve(login(ProbeAnswer(kLength)), login(WholeAnswer(kLength)));
    Run();
    ExpectEveryRequestThrough(std::wstring(70, L'a') + L".example:3128");
    for (const auto& request : http.Requests()) {
        EXPECT_THAT(request->userNamesSet, ElementsAre(user));
        EXPECT_THAT(request->passwordsSet, ElementsAre(password));
    }
    EXPECT_TRUE(Saved(kLength));
}

TEST_F(ProxyWorkerTest, AnEmptyPortLeavesTheColon) {
    UseProxy();
    env.settings.port = L"";
    Serve(UnreachableAnswer(), WholeAnswer(kLength));
    Run();
    ExpectEveryRequestThrough(L"127.0.0.1:");
    EXPECT_THAT(window.Released(), ElementsAre(4));
}

struct ProxyProbeFailure : NamedCase {
    RequestScript probe;
    CatalogueId message;
};

class ProxyProbeFailureTest : public ProxyWorkerTest, public testing::WithParamInterface<ProxyProbeFailure> {};

TEST_P(ProxyProbeFailureTest, ReportsAndReleasesWithoutOpeningTheTransfer) {
    UseProxy(L"alice", L"wrong");
    files.Put(kTempPath, 1000);
    Serve(GetParam().probe, GetParam().probe, WholeAnswer(kLength));
    Run();
    EXPECT_THAT(window.Released(), ElementsAre(GetParam().message));
    EXPECT_TRUE(window.Messages().empty());
    EXPECT_THAT(http.Sent(), Not(Contains(HasSubstr(L"Range"))));
    EXPECT_TRUE(TempHolds(1000));
    ExpectCredentialsWiped();
}

INSTANTIATE_TEST_SUITE_P(
    Answers, ProxyProbeFailureTest,
    testing::Values(ProxyProbeFailure{"NotListening", UnreachableAnswer(), 4},
                    ProxyProbeFailure{"WrongPasswordAnswered407", BehindLogin(ProbeAnswer(kLength)), 5},
                    ProxyProbeFailure{"WrongPasswordAnswered401", BehindLogin(ProbeAnswer(kLength), L"s3cret", 401), 5},
                    ProxyProbeFailure{"NoContentLength",
                                      With(ProbeAnswer(kLength), [](auto& s) { s.contentLength.reset(); }), 10},
                    ProxyProbeFailure{"NotFoundPage", ErrorAnswer(404), 10}),
    CaseName<ProxyProbeFailure>);

TEST_F(ProxyWorkerTest, TransferRequestThatCannotBeOpenedReportsTheProxy) {
    UseProxy();
    files.Put(kTempPath, 1000);
    Serve(ProbeAnswer(kLength), UnreachableAnswer());
    Run();
    EXPECT_THAT(window.Released(), ElementsAre(4));
    EXPECT_TRUE(TempHolds(1000));
}

struct RefusedLoginCase : NamedCase {
    RequestScript transfer;
};

class RefusedTransferLoginTest : public ProxyWorkerTest, public testing::WithParamInterface<RefusedLoginCase> {};

// A refused login is the same on every try: never tried again.
TEST_P(RefusedTransferLoginTest, SaysTheLoginFailedAndAppendsNothing) {
    UseProxy(L"alice", L"s3cret");
    env.retries = 3;
    files.Put(kTempPath, 1000);
    Serve(BehindLogin(ProbeAnswer(kLength)), GetParam().transfer, GetParam().transfer);
    Run();
    EXPECT_THAT(window.Messages(), ElementsAre(Shown{5, BoxKind::Ok}));
    EXPECT_TRUE(pause.waits.empty());
    EXPECT_EQ(http.Opened().size(), 2u);
    EXPECT_TRUE(TempHolds(1000));
    EXPECT_EQ(FindEvent(log, "write"), -1);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, RefusedTransferLoginTest,
    testing::Values(
        RefusedLoginCase{"StillAnswered407", BehindLogin(PartialAnswer(1000, kLength), L"changed")},
        RefusedLoginCase{"Answered401", BehindLogin(PartialAnswer(1000, kLength), L"changed", 401)},
        RefusedLoginCase{"UserNameRefusedByClient",
                         With(BehindLogin(PartialAnswer(1000, kLength)), [](auto& s) { s.failSetUserName = true; })}),
    CaseName<RefusedLoginCase>);

// A failure message is never followed by the save step, not even for a
// temp file that already holds the whole file.
TEST_F(ProxyWorkerTest, CompleteFileIsNotOfferedAfterATransferFailure) {
    UseProxy(L"alice", L"s3cret");
    files.Put(kTempPath, kLength);
    Serve(BehindLogin(ProbeAnswer(kLength)), BehindLogin(ErrorAnswer(416), L"changed"));
    Run();
    EXPECT_THAT(window.Messages(), ElementsAre(Shown{5, BoxKind::Ok}));
    EXPECT_EQ(window.FolderPrompts(), 0);
    EXPECT_TRUE(TempHolds(kLength));
}

TEST_F(ProxyWorkerTest, CompleteFileIsNotOfferedWhenTheTransferGetsNoAnswer) {
    UseProxy();
    files.Put(kTempPath, kLength);
    Serve(ProbeAnswer(kLength), UnreachableAnswer());
    Run();
    EXPECT_THAT(window.Released(), ElementsAre(4));
    EXPECT_TRUE(window.Messages().empty());
    EXPECT_EQ(window.FolderPrompts(), 0);
    EXPECT_TRUE(TempHolds(kLength));
}

}  // namespace
}  // namespace cveltrix::test
