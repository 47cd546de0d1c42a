// Every fallible platform call of a run fails in turn, one per run (curl's
// torture runs are the model): whatever fails, the run ends idle with every
// handle released, the temp file holds a prefix of the file, nothing
// unfinished or unverified is saved, and the user hears the message that
// names the failure, or none. A build that tries again gets over every
// failure of the way to the server, and over nothing else.
#include <gmock/gmock.h>

#include "core/paths.h"
#include "core/web_mark.h"
#include "run_worker_fixture.h"

namespace cveltrix::test {
namespace {

constexpr std::uint64_t kResumeFrom = 1000;
constexpr Sha256Digest kDigest{0x5a, 0x17};
const std::wstring kVersion = L"\"c350-v1\"";
const std::wstring kRecord = FileVersionText({kLength, kVersion});

// A resumed run's server may honour the range or send the whole file again.
enum class Start { Fresh, Resumed, ResumedRangeIgnored };

using SweepParam = std::tuple<Way, bool, Start, bool>;

struct SweepCase {
    explicit SweepCase(const SweepParam& t)
        : way(std::get<0>(t)), pinned(std::get<1>(t)), start(std::get<2>(t)), retrying(std::get<3>(t)) {}
    Way way;  // through the proxy with a login
    bool pinned;
    Start start;
    bool retrying;
    bool resumed() const { return start != Start::Fresh; }
    // Where the body the server sends begins.
    std::uint64_t bodyFrom() const { return start == Start::Resumed ? kResumeFrom : 0; }
};

std::string SweepName(const testing::TestParamInfo<SweepParam>& info) {
    const SweepCase c(info.param);
    static const char* const kStarts[] = {"Fresh", "Resumed", "ResumedRangeIgnored"};
    return WayLabel(c.way) + (c.pinned ? "Pinned" : "Unpinned") + kStarts[static_cast<int>(c.start)] +
           (c.retrying ? "Retrying" : "");
}

// Where the range asked for in `headers` ("Range: bytes=N-...") begins.
std::uint64_t AskedFrom(const std::wstring& headers) {
    return std::stoull(headers.substr(headers.find(L'=') + 1));
}

// One run over fresh fakes, its Nth fallible call failing (none for 0).
struct Rig {
    Rig(const SweepCase& c, int failAt) {
        plan.failAt = failAt;
        http.faults = files.faults = window.faults = hasher.faults = &plan;
        window.folderChoice = kFolder;
        env.pause = &pause;
        env.wakefulness = &wakefulness;
        env.retries = c.retrying ? 3 : 0;
        if (c.resumed()) {
            files.Put(kTempPath, kResumeFrom);
            files.texts[ValidatorPathFor(kTempPath)] = kRecord;
        }
        http.answerer = [c](const OpenedUrl& opened) {
            RequestScript script = Tagged(opened.headers.empty() || c.start == Start::ResumedRangeIgnored
                                              ? WholeAnswer(kLength)
                                              : PartialAnswer(AskedFrom(opened.headers), kLength),
                                          kVersion);
            if (c.way == Way::ThroughProxy) script.proxyAuth = ProxyAuth{L"alice", L"s3cret"};
            return script;
        };
        if (c.way == Way::ThroughProxy) {
            env.settings.mode = ProxyConfig::kUseProxy;
            env.settings.address = L"127.0.0.1";
            env.settings.port = L"3128";
            env.settings.userName = L"alice";
            env.settings.password = L"s3cret";
        }
        if (c.pinned) {
            hasher.follows = true;
            hasher.digest = kDigest;
            env.hasher = &hasher;
            env.pin = kDigest;
        }
        DownloadWorker(env);
    }

    // The messages shown, in order, whichever way they were shown.
    std::vector<CatalogueId> Messages() const {
        std::vector<CatalogueId> ids;
        for (const std::string& event : log) {
            if (event.starts_with("message ") || event.starts_with("release ")) {
                ids.push_back(std::stoi(event.substr(event.find(' ') + 1)));
            }
        }
        return ids;
    }

    FaultPlan plan;
    EventLog log;
    FakeHttpClient http{log};
    FakeFileSystem files{log};
    FakeRunWindow window{log};
    FakeHasher hasher;
    FakePause pause{log};
    FakeWakefulness wakefulness{log};
    std::wstring chosenFolder;
    WorkerEnvironment env{window, http, files, window.cancelRequested, kUrl, kTempPath, chosenFolder, ProxyConfig{}};
};

// The body arrives in reads of at most 8192 bytes; after the last one, a
// failed query or read is the end of a complete body.
int DataReads(const SweepCase& c) { return static_cast<int>((kLength - c.bodyFrom() + 8191) / 8192); }

// The call `failed` ("label#ordinal") lost the way to the server: no
// session, no answer, or the body cut short.
bool LostTheWay(const std::string& failed, const SweepCase& c) {
    const std::string label = failed.substr(0, failed.find('#'));
    const int ordinal = std::stoi(failed.substr(failed.find('#') + 1));
    if (label == "query" || label == "read") return ordinal <= DataReads(c);
    return label == "session" || label == "open GET" || label == "open HEAD" || label.starts_with("resend ");
}

// What the user hears when the call `failed` ("label#ordinal") fails.
std::vector<CatalogueId> ExpectedMessages(const std::string& failed, const SweepCase& c) {
    const std::string label = failed.substr(0, failed.find('#'));
    const int ordinal = std::stoi(failed.substr(failed.find('#') + 1));
    const CatalogueId unreachable = c.way == Way::ThroughProxy ? msg::ProxyUnreachable : msg::ServerUnreachable;
    const int dataReads = DataReads(c);
    // The next try finds the way again, and the run completes.
    if (c.retrying && LostTheWay(failed, c)) return {msg::DownloadComplete};
    if (label == "open file" || label == "seek" || failed == "size#1") return {msg::CreateFailed};
    // The final size: without it nothing can be checked or offered.
    if (label == "size") return {};
    if (label == "write" || label == "truncate") return {msg::WriteFailed};
    if (label == "session" || label.starts_with("open ") || label.starts_with("resend ")) return {unreachable};
    if (label == "user name" || label == "password") return {msg::ProxyAuthFailed};
    // A HEAD's answer unread: the GET without a range learns the length.
    // No follower: the whole file is hashed at the end instead.
    if (label.ends_with(" HEAD") || label == "follow") return {msg::DownloadComplete};
    if (label == "status GET" || label == "range GET") return {msg::ServerUnreachable};
    // A whole file's own length unread: the probe's stands for a fresh
    // start, as for a chunked body; a resume keeps its partial instead.
    if (label == "length GET") return {c.resumed() ? msg::ServerUnreachable : msg::DownloadComplete};
    if (label == "query" || label == "read") {
        return ordinal > dataReads ? std::vector{msg::DownloadComplete} : std::vector{msg::Disconnected};
    }
    if (label == "picker") return {msg::DownloadComplete, msg::NoFolderChosen};
    if (label == "move") return {msg::DownloadComplete, msg::SaveFailed};
    // The mark goes on after the move: the file is saved without it.
    if (label == "write stream") return {msg::DownloadComplete};
    if (label == "finish hash") return {msg::Damaged};
    // The kept version only guards a resume: without it the run goes on as
    // for a temp file of an older build.
    if (label == "read text" || label == "write text" || label == "delete") return {msg::DownloadComplete};
    ADD_FAILURE() << "no expectation for " << failed;
    return {};
}

// Every failure message comes with its reason noted, and so do a missing
// mark and a failure tried again, which show none; a failed platform call
// is named by its error code.
void ExpectEachFailureNoted(const Rig& rig, const std::vector<CatalogueId>& shown, const std::string& failed,
                            bool retried) {
    std::vector<CatalogueId> failures;
    if (retried) failures.push_back(kNoMessage);
    for (CatalogueId id : shown) {
        if (id != msg::DownloadComplete) failures.push_back(id);
    }
    if (failed.starts_with("write stream#")) failures.push_back(kNoMessage);
    std::vector<CatalogueId> noted;
    for (const auto& failure : rig.window.Failures()) {
        noted.push_back(failure.id);
        const std::string label = failed.substr(0, failed.find('#'));
        const bool platformCall = !(label == "picker" || label == "follow" || label == "finish hash" ||
                                    label == "read text" ||
                                    label.ends_with(" HEAD") || failed.starts_with("size#2"));
        if (platformCall) {
            EXPECT_NE(failure.reason.find(L"error " + std::to_wstring(kFakeError)), std::wstring::npos)
                << testing::PrintToString(failure.reason);
        }
    }
    EXPECT_EQ(noted, failures);
}

class FaultSweepTest : public testing::TestWithParam<SweepParam> {};

TEST_P(FaultSweepTest, EveryFailureEndsIdleWithAPrefixAndItsMessage) {
    const SweepCase c(GetParam());
    const int calls = Rig(c, 0).plan.calls;
    ASSERT_GT(calls, 10);
    for (int failAt = 0; failAt <= calls; ++failAt) {
        const Rig rig(c, failAt);
        const std::string& failed = rig.plan.failed;
        SCOPED_TRACE("call " + std::to_string(failAt) + " failed: " + (failAt ? failed : "none"));
        const auto expected = failAt ? ExpectedMessages(failed, c) : std::vector{msg::DownloadComplete};
        EXPECT_EQ(rig.Messages(), expected);
        const bool retried = failAt && c.retrying && LostTheWay(failed, c);
        EXPECT_EQ(rig.pause.waits.size(), retried ? 1u : 0u);
        EXPECT_EQ(rig.window.Resets(), 1);
        EXPECT_EQ(rig.log.back(), "reset");
        EXPECT_EQ(rig.http.LiveRequests() + rig.http.LiveSessions(), 0);
        const bool saved = expected == std::vector{msg::DownloadComplete};
        EXPECT_EQ(rig.files.Has(kDestination), saved);
        ExpectEachFailureNoted(rig, expected, failed, retried);
        if (saved) {
            EXPECT_TRUE(rig.files.HoldsPattern(kDestination));
            EXPECT_EQ(rig.files.SizeOf(kDestination), kLength);
            // The kept version goes with the temp file; the mark comes with the save.
            if (!failed.starts_with("delete")) {
                EXPECT_FALSE(rig.files.texts.contains(ValidatorPathFor(kTempPath)));
            }
            EXPECT_EQ(rig.files.texts.contains(ZoneIdentifierPath(kDestination)), !failed.starts_with("write stream#"));
        } else if (rig.files.Has(kTempPath)) {
            EXPECT_TRUE(rig.files.HoldsPattern(kTempPath));
            // A resume asks for the version the temp file began with.
            if (!failed.starts_with("write text") && rig.files.SizeOf(kTempPath) > 0) {
                EXPECT_EQ(rig.files.texts.at(ValidatorPathFor(kTempPath)), kRecord);
            }
        }
        EXPECT_EQ(rig.files.deletedBytes, 0u);
        for (const auto& [path, data] : rig.files.files) EXPECT_EQ(data.openHandles, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Runs, FaultSweepTest,
                         testing::Combine(testing::Values(Way::Direct, Way::ThroughProxy), testing::Bool(),
                                          testing::Values(Start::Fresh, Start::Resumed, Start::ResumedRangeIgnored),
                                          testing::Bool()),
                         SweepName);

}  // namespace
}  // namespace cveltrix::test
