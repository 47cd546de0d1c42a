#include <gtest/gtest.h>

#include "download/worker.h"
#include "fakes.h"

namespace cveltrix {
namespace {

using test::CaseName;
using test::ErrorAnswer;
using test::EventLog;
using test::FakeHttpClient;
using test::NamedCase;
using test::ProbeAnswer;
using test::ProxyAuth;
using test::RequestScript;
using test::UnreachableAnswer;
using test::With;

const std::wstring kUrl = L"http://127.0.0.1:47321/archives/043/Kelvrane_for_(K)QZ415_270[2.20]series_Installer.exe";
const std::wstring kProxy = L"127.0.0.1:3128";

struct ProbeCase : NamedCase {
    RequestScript answer;
    std::int64_t expected;
};

class ProbeTest : public testing::Test {
protected:
    // One request without a range, the given way, and nothing left open.
    void ExpectOneRequestThrough(std::optional<std::wstring> proxyText) const {
        ASSERT_EQ(http.Opened().size(), 1u);
        EXPECT_EQ(http.Opened()[0].throughProxy, proxyText.has_value());
        EXPECT_EQ(http.Opened()[0].proxyText, proxyText.value_or(L""));
        EXPECT_EQ(http.Opened()[0].url, kUrl);
        EXPECT_EQ(http.Opened()[0].headers, L"");
        EXPECT_EQ(http.LiveRequests(), 0);
        EXPECT_EQ(http.LiveSessions(), 0);
        EXPECT_EQ(http.OrphanedRequests(), 0);
    }

    EventLog log;
    FakeHttpClient http{log};
};

class DirectProbeTest : public ProbeTest, public testing::WithParamInterface<ProbeCase> {};

TEST_P(DirectProbeTest, YieldsTheLengthOfASuccessOnly) {
    http.Answer(GetParam().answer);
    EXPECT_EQ(ProbeDirect(http, kUrl), GetParam().expected);
    ExpectOneRequestThrough(std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, DirectProbeTest,
    testing::Values(ProbeCase{"Ok", ProbeAnswer(5000), 5000},
                    ProbeCase{"FiveGiB", ProbeAnswer(5368709120ll), 5368709120ll},
                    ProbeCase{"Unreachable", UnreachableAnswer(), 0},
                    ProbeCase{"NotFoundPage", ErrorAnswer(404), 0}, ProbeCase{"ServerError", ErrorAnswer(500), 0},
                    ProbeCase{"ProxyOfTheSystemAsksLogin", ErrorAnswer(407), 0},
                    ProbeCase{"StatusUnreadable", With(ProbeAnswer(5000), [](auto& s) { s.status.reset(); }), 0},
                    ProbeCase{"NoContentLength", With(ProbeAnswer(5000), [](auto& s) { s.contentLength.reset(); }), 0},
                    ProbeCase{"GarbageLength", With(ProbeAnswer(5000), [](auto& s) { s.contentLength = L"12ab"; }), 0},
                    ProbeCase{"NegativeLength", With(ProbeAnswer(5000), [](auto& s) { s.contentLength = L"-5"; }), 0},
                    // Read as a signed count this would be -1, the unreachable proxy.
                    ProbeCase{"LengthBeyondSignedRange",
                              With(ProbeAnswer(5000), [](auto& s) { s.contentLength = L"18446744073709551615"; }), 0},
                    ProbeCase{"ZeroLength", ProbeAnswer(0), 0}),
    CaseName<ProbeCase>);

TEST_F(ProbeTest, DirectProbeWithoutASessionYieldsNothing) {
    http.failSessions = true;
    http.Answer(ProbeAnswer(5000));
    EXPECT_EQ(ProbeDirect(http, kUrl), 0);
}

struct ProxyProbeCase : NamedCase {
    RequestScript answer;
    std::wstring userName;
    std::wstring password;
    std::int64_t expected;
};

RequestScript BehindLogin(RequestScript answer, std::uint32_t refusal = 407) {
    answer.proxyAuth = ProxyAuth{L"alice", L"s3cret", refusal};
    return answer;
}

class ProxyProbeTest : public ProbeTest, public testing::WithParamInterface<ProxyProbeCase> {};

TEST_P(ProxyProbeTest, TellsAnUnreachableProxyFromARefusedLogin) {
    const ProxyProbeCase& c = GetParam();
    http.Answer(c.answer);
    EXPECT_EQ(ProbeThroughProxy(http, kUrl, kProxy, c.userName, c.password), c.expected);
    ExpectOneRequestThrough(kProxy);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, ProxyProbeTest,
    testing::Values(
        ProxyProbeCase{"OpenProxy", ProbeAnswer(5000), L"", L"", 5000},
        ProxyProbeCase{"OpenProxyIgnoresGivenCredentials", ProbeAnswer(5000), L"alice", L"s3cret", 5000},
        ProxyProbeCase{"LoginAccepted", BehindLogin(ProbeAnswer(5000)), L"alice", L"s3cret", 5000},
        ProxyProbeCase{"LoginAcceptedFiveGiB", BehindLogin(ProbeAnswer(5368709120ll)), L"alice", L"s3cret",
                       5368709120ll},
        ProxyProbeCase{"NotListening", UnreachableAnswer(), L"", L"", -1},
        ProxyProbeCase{"WrongPasswordAnswered407", BehindLogin(ProbeAnswer(5000)), L"alice", L"wrong", -2},
        ProxyProbeCase{"WrongPasswordAnswered401", BehindLogin(ProbeAnswer(5000), 401), L"alice", L"wrong", -2},
        ProxyProbeCase{"NoUserNameForALoginProxy", BehindLogin(ProbeAnswer(5000)), L"", L"", -2},
        ProxyProbeCase{"UserNameRefusedByClient",
                       With(BehindLogin(ProbeAnswer(5000)), [](auto& s) { s.failSetUserName = true; }), L"alice",
                       L"s3cret", -2},
        ProxyProbeCase{"PasswordRefusedByClient",
                       With(BehindLogin(ProbeAnswer(5000)), [](auto& s) { s.failSetPassword = true; }), L"alice",
                       L"s3cret", -2},
        ProxyProbeCase{"NotFoundBehindLogin", BehindLogin(ErrorAnswer(404)), L"alice", L"s3cret", 0},
        ProxyProbeCase{"NotFound", ErrorAnswer(404), L"", L"", 0},
        ProxyProbeCase{"OriginAsksLoginWithoutProxyChallenge", ErrorAnswer(401), L"", L"", 0},
        ProxyProbeCase{"StatusUnreadable", With(ProbeAnswer(5000), [](auto& s) { s.status.reset(); }), L"", L"", 0},
        ProxyProbeCase{"NoContentLength", With(ProbeAnswer(5000), [](auto& s) { s.contentLength.reset(); }), L"",
                       L"", 0},
        ProxyProbeCase{"LengthBeyondSignedRange",
                       With(ProbeAnswer(5000), [](auto& s) { s.contentLength = L"18446744073709551615"; }), L"", L"",
                       0}),
    CaseName<ProxyProbeCase>);

TEST_F(ProbeTest, ProxyProbeWithoutASessionCountsAsUnreachable) {
    http.failSessions = true;
    http.Answer(ProbeAnswer(5000));
    EXPECT_EQ(ProbeThroughProxy(http, kUrl, kProxy, L"", L""), -1);
}

TEST_F(ProbeTest, ProxyProbeHandsCredentialsOverWhole) {
    const std::wstring user(100, L'u');
    const std::wstring password = std::wstring(99, L'p') + L"!";
    RequestScript answer = ProbeAnswer(5000);
    answer.proxyAuth = ProxyAuth{user, password};
    http.Answer(answer);
    const std::wstring longProxy = std::wstring(70, L'a') + L".example:3128";
    EXPECT_EQ(ProbeThroughProxy(http, kUrl, longProxy, user, password), 5000);
    EXPECT_EQ(http.Opened()[0].proxyText, longProxy);
    EXPECT_EQ(http.Requests()[0]->userNamesSet, std::vector<std::wstring>{user});
    EXPECT_EQ(http.Requests()[0]->passwordsSet, std::vector<std::wstring>{password});
}

TEST_F(ProbeTest, ProxyProbeWithAnEmptyUserNameSendsNoPassword) {
    http.Answer(BehindLogin(ProbeAnswer(5000)));
    EXPECT_EQ(ProbeThroughProxy(http, kUrl, kProxy, L"", L"s3cret"), -2);
    EXPECT_TRUE(http.Requests()[0]->passwordsSet.empty());
}

}  // namespace
}  // namespace cveltrix
