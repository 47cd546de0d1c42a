#include <gtest/gtest.h>

#include "core/http_request.h"
#include "fakes.h"

namespace cveltrix {
namespace {

using test::CaseName;
using test::ErrorAnswer;
using test::EventLog;
using test::FakeHttpClient;
using test::NamedCase;
using test::OpenedUrl;
using test::ProbeAnswer;
using test::ProxyAuth;
using test::RequestScript;
using test::UnreachableAnswer;
using test::With;

const std::wstring kUrl = L"http://127.0.0.1:47321/archives/043/Kelvrane_for_(K)QZ415_270[2.20]series_Installer.exe";
const std::wstring kProxy = L"127.0.0.1:3128";

// The answers to the probe's requests in order: the HEAD's, then the GET's
// when the probe falls back to one.
using Answers = std::vector<RequestScript>;

Answers HeadAndGet(const RequestScript& answer) { return {answer, answer}; }

using Kind = ProbeResult::Kind;

// What a probe must find: a length, or the kind of its failure, what went
// wrong and how long the server asked to be left alone.
struct Expected {
    Kind kind;
    std::uint64_t length = 0;
    FailureKind failure = FailureKind::NoAnswer;
    std::optional<std::uint64_t> retryAfter = std::nullopt;
    bool operator==(const Expected&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Expected& e) {
    return os << "kind " << static_cast<int>(e.kind) << ", length " << e.length << ", failure "
              << static_cast<int>(e.failure) << ", retry after " << e.retryAfter.value_or(0);
}

Expected Found(const ProbeResult& result) {
    EXPECT_EQ(result.why.empty(), result.kind() == Kind::Length) << "a failure names its reason";
    if (result.kind() == Kind::Length) return {result.kind(), result.length};
    return {result.kind(), result.length, *result.failure, result.retryAfter};
}

constexpr Expected Length(std::uint64_t length) { return {Kind::Length, length}; }
constexpr Expected kNoAnswer{Kind::NoLength, 0, FailureKind::NoAnswer};
constexpr Expected kSaysNo{Kind::NoLength, 0, FailureKind::ServerSaysNo};
constexpr Expected kNoUsableLength{Kind::NoLength, 0, FailureKind::NoUsableLength};
Expected SaysLater(std::optional<std::uint64_t> after = std::nullopt) {
    return {Kind::NoLength, 0, FailureKind::ServerSaysLater, after};
}
constexpr Expected kUnreachable{Kind::ProxyUnreachable, 0, FailureKind::ProxyUnreachable};
constexpr Expected kLoginRefused{Kind::ProxyLoginRefused, 0, FailureKind::ProxyLoginRefused};

RequestScript Busy(std::uint32_t status, std::wstring retryAfter) {
    return With(ErrorAnswer(status), [&](auto& s) {
        s.retryAfter = retryAfter;
        s.date = L"Sun, 06 Nov 1994 08:49:37 GMT";
    });
}

struct ProbeCase : NamedCase {
    Answers answers;
    Expected expected;
};

class ProbeTest : public testing::Test {
protected:
    void Serve(const Answers& answers) {
        for (const RequestScript& answer : answers) http.Answer(answer);
    }

    // A HEAD, then a GET only when the case gave it an answer; both without
    // a range, the given way, each sent again only to answer a 407, and
    // nothing left open.
    void ExpectProbedThrough(std::optional<std::wstring> proxyText, std::size_t requests) const {
        const std::vector<std::wstring> verbs{L"HEAD", L"GET"};
        EXPECT_EQ(http.Sent(), std::vector<std::wstring>(verbs.begin(), verbs.begin() + requests));
        for (const OpenedUrl& opened : http.Opened()) {
            EXPECT_EQ(opened.throughProxy, proxyText.has_value());
            EXPECT_EQ(opened.proxyText, proxyText.value_or(L""));
            EXPECT_EQ(opened.url, kUrl);
        }
        EXPECT_EQ(http.PointlessResends(), 0);
        EXPECT_EQ(http.LiveRequests(), 0);
        EXPECT_EQ(http.LiveSessions(), 0);
        EXPECT_EQ(http.OrphanedRequests(), 0);
    }

    EventLog log;
    FakeHttpClient http{log};
};

class DirectProbeTest : public ProbeTest, public testing::WithParamInterface<ProbeCase> {};

TEST_P(DirectProbeTest, YieldsTheLengthOfASuccessOnly) {
    Serve(GetParam().answers);
    EXPECT_EQ(Found(ProbeDirect(http, kUrl)), GetParam().expected);
    ExpectProbedThrough(std::nullopt, GetParam().answers.size());
}

RequestScript WithoutLength(RequestScript answer) {
    answer.contentLength.reset();
    return answer;
}

INSTANTIATE_TEST_SUITE_P(
    Answers, DirectProbeTest,
    testing::Values(
        ProbeCase{"Ok", {ProbeAnswer(5000)}, Length(5000)}, ProbeCase{"FiveGiB", {ProbeAnswer(5368709120ll)}, Length(5368709120ll)},
        // No answer at all: a GET would find nothing either.
        ProbeCase{"Unreachable", {UnreachableAnswer()}, kNoAnswer},
        ProbeCase{"HeadNotAllowed", {ErrorAnswer(405), ProbeAnswer(5000)}, Length(5000)},
        ProbeCase{"HeadForbiddenBySignedUrl", {ErrorAnswer(403), ProbeAnswer(5000)}, Length(5000)},
        ProbeCase{"HeadNotImplemented", {ErrorAnswer(501), ProbeAnswer(5000)}, Length(5000)},
        ProbeCase{"HeadWithoutLength", {WithoutLength(ProbeAnswer(5000)), ProbeAnswer(5000)}, Length(5000)},
        ProbeCase{"HeadRefusedGetUnreachable", {ErrorAnswer(405), UnreachableAnswer()}, kNoAnswer},
        ProbeCase{"NotFoundPage", HeadAndGet(ErrorAnswer(404)), kSaysNo},
        ProbeCase{"ServerError", HeadAndGet(ErrorAnswer(500)), SaysLater()},
        // Come back later: in so many seconds, or at a date of the server's clock.
        ProbeCase{"Unavailable", HeadAndGet(Busy(503, L"5")), SaysLater(5)},
        ProbeCase{"TooManyRequestsUntilADate", HeadAndGet(Busy(429, L"Sun, 06 Nov 1994 08:50:07 GMT")), SaysLater(30)},
        ProbeCase{"RequestTimeoutRetryAfterUnreadable", HeadAndGet(Busy(408, L"soon")), SaysLater()},
        ProbeCase{"ProxyOfTheSystemAsksLogin", HeadAndGet(ErrorAnswer(407)), kSaysNo},
        ProbeCase{"StatusUnreadable", HeadAndGet(With(ProbeAnswer(5000), [](auto& s) { s.status.reset(); })), kSaysNo},
        ProbeCase{"NoContentLength", HeadAndGet(WithoutLength(ProbeAnswer(5000))), kNoUsableLength},
        ProbeCase{"GarbageLength", HeadAndGet(With(ProbeAnswer(5000), [](auto& s) { s.contentLength = L"12ab"; })),
                  kNoUsableLength},
        ProbeCase{"NegativeLength", HeadAndGet(With(ProbeAnswer(5000), [](auto& s) { s.contentLength = L"-5"; })),
                  kNoUsableLength},
        // Past the signed 64-bit range: no file anybody serves.
        ProbeCase{"LengthBeyondSignedRange",
                  HeadAndGet(With(ProbeAnswer(5000), [](auto& s) { s.contentLength = L"18446744073709551615"; })),
                  kNoUsableLength},
        ProbeCase{"ZeroLength", HeadAndGet(ProbeAnswer(0)), kNoUsableLength}),
    CaseName<ProbeCase>);

TEST_F(ProbeTest, DirectProbeWithoutASessionYieldsNothing) {
    http.failSessions = true;
    http.Answer(ProbeAnswer(5000));
    EXPECT_EQ(Found(ProbeDirect(http, kUrl)), kNoAnswer);
}

struct ProxyProbeCase : NamedCase {
    Answers answers;
    std::wstring userName;
    std::wstring password;
    Expected expected;
};

RequestScript BehindLogin(RequestScript answer, std::uint32_t refusal = 407) {
    answer.proxyAuth = ProxyAuth{L"alice", L"s3cret", refusal};
    return answer;
}

class ProxyProbeTest : public ProbeTest, public testing::WithParamInterface<ProxyProbeCase> {};

TEST_P(ProxyProbeTest, TellsAnUnreachableProxyFromARefusedLogin) {
    const ProxyProbeCase& c = GetParam();
    Serve(c.answers);
    EXPECT_EQ(Found(ProbeThroughProxy(http, kUrl, kProxy, c.userName, c.password)), c.expected);
    ExpectProbedThrough(kProxy, c.answers.size());
}

INSTANTIATE_TEST_SUITE_P(
    Answers, ProxyProbeTest,
    testing::Values(
        ProxyProbeCase{"OpenProxy", {ProbeAnswer(5000)}, L"", L"", Length(5000)},
        ProxyProbeCase{"OpenProxyIgnoresGivenCredentials", {ProbeAnswer(5000)}, L"alice", L"s3cret", Length(5000)},
        ProxyProbeCase{"LoginAccepted", {BehindLogin(ProbeAnswer(5000))}, L"alice", L"s3cret", Length(5000)},
        ProxyProbeCase{"LoginAcceptedFiveGiB", {BehindLogin(ProbeAnswer(5368709120ll))}, L"alice", L"s3cret",
                       Length(5368709120ll)},
        ProxyProbeCase{"NotListening", {UnreachableAnswer()}, L"", L"", kUnreachable},
        ProxyProbeCase{"SilentAfterTheLogin",
                       {With(BehindLogin(ProbeAnswer(5000)), [](auto& s) { s.resendUnanswered = true; })}, L"alice",
                       L"s3cret", kUnreachable},
        ProxyProbeCase{"WrongPasswordAnswered407", {BehindLogin(ProbeAnswer(5000))}, L"alice", L"wrong", kLoginRefused},
        ProxyProbeCase{"WrongPasswordAnswered401", {BehindLogin(ProbeAnswer(5000), 401)}, L"alice", L"wrong", kLoginRefused},
        ProxyProbeCase{"NoUserNameForALoginProxy", {BehindLogin(ProbeAnswer(5000))}, L"", L"", kLoginRefused},
        ProxyProbeCase{"UserNameRefusedByClient",
                       {With(BehindLogin(ProbeAnswer(5000)), [](auto& s) { s.failSetUserName = true; })},
                       L"alice",
                       L"s3cret",
                       kLoginRefused},
        ProxyProbeCase{"PasswordRefusedByClient",
                       {With(BehindLogin(ProbeAnswer(5000)), [](auto& s) { s.failSetPassword = true; })},
                       L"alice",
                       L"s3cret",
                       kLoginRefused},
        ProxyProbeCase{"HeadNotAllowed", {ErrorAnswer(405), ProbeAnswer(5000)}, L"", L"", Length(5000)},
        // The GET goes through a login exchange of its own.
        ProxyProbeCase{"HeadNotAllowedBehindLogin",
                       {BehindLogin(ErrorAnswer(405)), BehindLogin(ProbeAnswer(5000))},
                       L"alice",
                       L"s3cret",
                       Length(5000)},
        ProxyProbeCase{"HeadWithoutLengthBehindLogin",
                       {BehindLogin(WithoutLength(ProbeAnswer(5000))), BehindLogin(ProbeAnswer(5000))},
                       L"alice",
                       L"s3cret",
                       Length(5000)},
        ProxyProbeCase{"HeadNotAllowedThenProxyGone", {ErrorAnswer(405), UnreachableAnswer()}, L"", L"", kUnreachable},
        ProxyProbeCase{"NotFoundBehindLogin", HeadAndGet(BehindLogin(ErrorAnswer(404))), L"alice", L"s3cret", kSaysNo},
        ProxyProbeCase{"NotFound", HeadAndGet(ErrorAnswer(404)), L"", L"", kSaysNo},
        // The proxy's own 503: the origin is out of its reach for now.
        ProxyProbeCase{"OriginOutOfReach", HeadAndGet(Busy(503, L"2")), L"", L"", SaysLater(2)},
        ProxyProbeCase{"OriginAsksLoginWithoutProxyChallenge", HeadAndGet(ErrorAnswer(401)), L"", L"", kSaysNo},
        ProxyProbeCase{"StatusUnreadable", HeadAndGet(With(ProbeAnswer(5000), [](auto& s) { s.status.reset(); })),
                       L"", L"", kSaysNo},
        ProxyProbeCase{"NoContentLength", HeadAndGet(WithoutLength(ProbeAnswer(5000))), L"", L"", kNoUsableLength},
        ProxyProbeCase{"LengthBeyondSignedRange",
                       HeadAndGet(With(ProbeAnswer(5000), [](auto& s) { s.contentLength = L"18446744073709551615"; })),
                       L"", L"", kNoUsableLength}),
    CaseName<ProxyProbeCase>);

TEST_F(ProbeTest, ProxyProbeWithoutASessionCountsAsUnreachable) {
    http.failSessions = true;
    http.Answer(ProbeAnswer(5000));
    EXPECT_EQ(Found(ProbeThroughProxy(http, kUrl, kProxy, L"", L"")), kUnreachable);
}

TEST_F(ProbeTest, ProxyProbeHandsCredentialsOverWhole) {
    const std::wstring user(100, L'u');
    const std::wstring password = std::wstring(99, L'p') + L"!";
    RequestScript answer = ProbeAnswer(5000);
    answer.proxyAuth = ProxyAuth{user, password};
    http.Answer(answer);
    const std::wstring longProxy = std::wstring(70, L'a') + L".example:3128";
    EXPECT_EQ(Found(ProbeThroughProxy(http, kUrl, longProxy, user, password)), Length(5000));
    EXPECT_EQ(http.Opened()[0].proxyText, longProxy);
    EXPECT_EQ(http.Opened()[0].proxyUserName, user);
    EXPECT_EQ(http.Opened()[0].proxyPassword, password);
    EXPECT_EQ(http.Requests()[0]->userNamesSet, std::vector<std::wstring>{user});
    EXPECT_EQ(http.Requests()[0]->passwordsSet, std::vector<std::wstring>{password});
}

TEST_F(ProbeTest, ProxyProbeWithAnEmptyUserNameSendsNoPassword) {
    http.Answer(BehindLogin(ProbeAnswer(5000)));
    EXPECT_EQ(Found(ProbeThroughProxy(http, kUrl, kProxy, L"", L"s3cret")), kLoginRefused);
    EXPECT_TRUE(http.Requests()[0]->passwordsSet.empty());
}

}  // namespace
}  // namespace cveltrix
