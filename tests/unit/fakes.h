// In-memory stand-ins for the HTTP client, the file system and the main
// window. All three write into one shared event log, so tests can check the
// order in which a run touches them (handles closed before the size is read,
// the file emptied before the transfer request goes out, and so on).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/file.h"
#include "core/http.h"
#include "core/integrity.h"
#include "core/run_pace.h"
#include "core/run_window.h"
#include "core/signature.h"

namespace cveltrix::test {

using EventLog = std::vector<std::string>;

// Index of the first event equal to `event` at or after `from`; -1 if none.
int FindEvent(const EventLog& log, const std::string& event, int from = 0);
int FindLastEvent(const EventLog& log, const std::string& event);

// The byte a served file holds at `offset`; files written by a correct run
// hold exactly this pattern.
std::byte PatternByte(std::uint64_t offset);
std::vector<std::byte> Pattern(std::uint64_t from, std::uint64_t count);

// Parameterised cases carry a name: the test's name, and how a failure
// prints the case.
struct NamedCase {
    // A case's name is the first of its initializers, without braces of its own.
    NamedCase(const char* caseName) : name(caseName) {}
    std::string name;
};
inline std::ostream& operator<<(std::ostream& os, const NamedCase& c) { return os << c.name; }

template <class Case>
std::string CaseName(const testing::TestParamInfo<Case>& info) {
    return info.param.name;
}

// Makes the Nth fallible platform call of a run fail, whichever fake it
// reaches: every call counts, the one at `failAt` fails, and what it was is
// kept as "label#ordinal" (the ordinal counts the calls with that label).
struct FaultPlan {
    int failAt = 0;  // 0: nothing fails
    int calls = 0;
    std::string failed;
    std::map<std::string, int> seen;

    bool Trips(const std::string& label);
};

inline bool Trips(FaultPlan* plan, const std::string& label) { return plan && plan->Trips(label); }

// The error code every failing fake reports.
inline constexpr std::uint32_t kFakeError = 4242;

// Keeps the error code of the owner's last failed call.
class ErrorRecord {
public:
    std::uint32_t Code() const { return code_; }
    // Notes a failure; returns `result` for the failing call to return.
    template <class Result>
    Result Failed(Result result, std::uint32_t code = kFakeError) {
        code_ = code;
        return result;
    }

private:
    std::uint32_t code_ = 0;
};

// ---------------------------------------------------------------- HTTP

// A proxy that wants a user name and password before it forwards anything.
struct ProxyAuth {
    std::wstring userName;
    std::wstring password;
    // What it answers once wrong credentials were sent (407, or 401 as some
    // proxies do).
    std::uint32_t refusal = 407;
};

// How one request opened by OpenUrl or OpenHead answers; a HEAD gets the
// same status and headers, and no body.
struct RequestScript {
    // Status once the proxy (if any) let the request through; nothing when
    // the status cannot be read.
    std::optional<std::uint32_t> status = 200;
    std::optional<ProxyAuth> proxyAuth;
    bool failSetUserName = false;
    bool failSetPassword = false;
    // The resend that carries the credentials gets no answer.
    bool resendUnanswered = false;
    std::optional<std::wstring> contentLength;
    std::optional<std::wstring> contentRange;
    std::optional<std::wstring> location;
    std::optional<std::wstring> etag;
    std::optional<std::wstring> lastModified;
    std::optional<std::wstring> date;
    std::optional<std::wstring> retryAfter;
    // The body is bytes [bodyOffset, bodyOffset + bodySize) of the pattern.
    std::uint64_t bodyOffset = 0;
    std::uint64_t bodySize = 0;
    // Most bytes one QueryAvailable reports.
    std::uint32_t available = 8192;
    // The connection ends (reads return true with 0) after this many bytes.
    std::optional<std::uint64_t> dropAfter;
    // Reads fail (return false with 0) after this many bytes, with this error.
    std::optional<std::uint64_t> failReadAfter;
    std::uint32_t readError = kFakeError;
    // OpenUrl or OpenHead returns nothing.
    bool unreachable = false;
};

// What a served file of `length` bytes answers to a probe without a range.
RequestScript ProbeAnswer(std::uint64_t length);
// A 206 for the bytes from `from` on of a file of `length` bytes.
RequestScript PartialAnswer(std::uint64_t from, std::uint64_t length);
// A 200 with the whole file, whatever range was asked.
RequestScript WholeAnswer(std::uint64_t length);
// `script` from the version of the file that `etag` names.
RequestScript Tagged(RequestScript script, std::wstring etag);
// An answer with `status` and a small error page as its body.
RequestScript ErrorAnswer(std::uint32_t status);
// Nothing answers: the request cannot be opened.
RequestScript UnreachableAnswer();

// `script` with one change applied, for variations on the answers above.
template <class Change>
RequestScript With(RequestScript script, Change change) {
    change(script);
    return script;
}

struct OpenedUrl {
    std::wstring verb;
    bool throughProxy = false;
    std::wstring proxyText;
    // The login the session was given for the proxy to ask for.
    std::wstring proxyUserName;
    std::wstring proxyPassword;
    std::wstring url;
    std::wstring headers;
};

struct RequestRecord {
    std::vector<std::wstring> userNamesSet;
    std::vector<std::wstring> passwordsSet;
    std::vector<std::size_t> readSizes;
    int resends = 0;
    // Resends that carried nothing new: no 407 in hand, or no credentials
    // set since the last send.
    int pointlessResends = 0;
    std::uint64_t delivered = 0;
};

class FakeHttpClient : public HttpClient {
public:
    explicit FakeHttpClient(EventLog& log) : log_(log) {}

    // Scripts are used by the requests in order, whatever session or verb
    // they come from; a request with no script left fails.
    void Answer(RequestScript script) { scripts_.push_back(std::move(script)); }
    // Or: every request answered by what it asks for.
    std::function<RequestScript(const OpenedUrl&)> answerer;

    bool failSessions = false;
    FaultPlan* faults = nullptr;

    std::unique_ptr<HttpSession> OpenPreconfigured() override;
    std::unique_ptr<HttpSession> OpenThroughProxy(const std::wstring& proxyText, const ProxyLogin& login) override;
    std::uint32_t LastError() const override { return errors_.Code(); }

    const std::vector<OpenedUrl>& Opened() const { return opened_; }
    // Each request as "VERB" or "VERB extra-headers", in order.
    std::vector<std::wstring> Sent() const;
    int PointlessResends() const;
    // One record per request actually handed out, in order.
    const std::vector<std::shared_ptr<RequestRecord>>& Requests() const { return requests_; }
    int LiveRequests() const { return *liveRequests_; }
    int LiveSessions() const { return *liveSessions_; }
    // Requests destroyed after the session they came from.
    int OrphanedRequests() const { return *orphaned_; }

private:
    friend class FakeSession;
    std::unique_ptr<HttpSession> Open(OpenedUrl way);

    EventLog& log_;
    std::deque<RequestScript> scripts_;
    std::vector<OpenedUrl> opened_;
    std::vector<std::shared_ptr<RequestRecord>> requests_;
    std::shared_ptr<int> liveRequests_ = std::make_shared<int>(0);
    std::shared_ptr<int> liveSessions_ = std::make_shared<int>(0);
    std::shared_ptr<int> orphaned_ = std::make_shared<int>(0);
    ErrorRecord errors_;
};

// ---------------------------------------------------------------- files

struct FakeFileData {
    // Bytes before `bytes` that are counted but not stored, so that files of
    // many GiB cost nothing.
    std::uint64_t untracked = 0;
    std::vector<std::byte> bytes;
    int openHandles = 0;
    // Writes that landed inside the untracked part (never at the end).
    int misplacedWrites = 0;

    std::uint64_t Size() const { return untracked + bytes.size(); }
};

class FakeFileSystem : public FileSystem {
public:
    explicit FakeFileSystem(EventLog& log) : log_(log) {}

    std::map<std::wstring, FakeFileData> files;
    bool failOpen = false;
    bool failSize = false;
    bool failDelete = false;
    bool failTruncate = false;
    bool failMove = false;
    // Another process holds the destination: this many moves fail with
    // `heldError` before one finds it free.
    int heldMoves = 0;
    std::uint32_t heldError = kErrorSharingViolation;
    // Files another process holds open, closed to this one's opens.
    std::set<std::wstring> heldElsewhere;
    FaultPlan* faults = nullptr;
    // The disk fills up once files hold this many bytes in total.
    std::optional<std::uint64_t> capacity;

    struct Move {
        std::wstring from;
        std::wstring to;
    };
    std::vector<Move> moves;
    std::vector<std::wstring> deletes;
    // Bytes that a Delete took with it.
    std::uint64_t deletedBytes = 0;
    // Small files and streams written whole, by path, apart from the data files.
    std::map<std::wstring, std::wstring> texts;

    // A file holding bytes [0, size) of the pattern.
    void Put(const std::wstring& path, std::uint64_t size);
    // A file of `size` bytes whose content is not kept.
    void PutUntracked(const std::wstring& path, std::uint64_t size);
    bool Has(const std::wstring& path) const { return files.contains(path); }
    std::uint64_t SizeOf(const std::wstring& path) const { return files.at(path).Size(); }
    // The file holds exactly the pattern's first SizeOf(path) bytes.
    bool HoldsPattern(const std::wstring& path) const;

    // Bytes that still fit on the disk.
    std::uint64_t Room() const;

    std::unique_ptr<File> OpenAlways(const std::wstring& path) override;
    bool Delete(const std::wstring& path) override;
    std::optional<std::wstring> ReadText(const std::wstring& path) override;
    bool WriteText(const std::wstring& path, const std::wstring& text) override;
    std::uint32_t LastError() const override { return errors_.Code(); }

private:
    friend class FakeFile;
    // Renames an open file; its other handles follow it, as on the platform.
    bool MoveOpen(const std::wstring& from, const std::wstring& to);

    EventLog& log_;
    ErrorRecord errors_;
};

// A signature check that finds what the test says; records what it checked.
class FakeSignatureVerifier : public SignatureVerifier {
public:
    SignatureCheck found;
    std::vector<std::wstring> checked;

    SignatureCheck Verify(const std::wstring& path) override {
        checked.push_back(path);
        return found;
    }
};

// A digest of whatever the test says the file holds.
// Follows a growing file when `follows` is set, recording what it was told.
class FakeHasher : public FileHasher {
public:
    std::optional<Sha256Digest> digest;
    std::vector<std::wstring> hashed;
    bool follows = false;
    FaultPlan* faults = nullptr;
    std::vector<std::wstring> followed;
    std::vector<std::uint64_t> grown;
    std::optional<std::uint64_t> finishedAt;
    // Followers that still hold the file open.
    int openFollowers = 0;

    std::optional<Sha256Digest> Sha256OfFile(const std::wstring& path) override {
        hashed.push_back(path);
        return Trips(faults, "hash file") ? std::nullopt : digest;
    }

    std::unique_ptr<GrowingFileHasher> Follow(const std::wstring& path) override;
};

// ---------------------------------------------------------------- time

// A clock of the test's own: every wait is logged ("wait N ms") and takes no
// time; `during` runs inside each, given its index from 0 (a Cancel raised
// there, say), before the wait looks at the cancel flag.
class FakePause : public Pause {
public:
    explicit FakePause(EventLog& log) : log_(log) {}
    std::function<void(int)> during;
    std::vector<std::chrono::milliseconds> waits;

    bool Wait(std::chrono::milliseconds duration, const std::atomic<bool>& cancel) override {
        log_.push_back("wait " + std::to_string(duration.count()) + " ms");
        waits.push_back(duration);
        if (during) during(static_cast<int>(waits.size()) - 1);
        return !cancel.load();
    }

private:
    EventLog& log_;
};

// Logs "awake" and "may sleep"; counts the holds not yet let go.
class FakeWakefulness : public Wakefulness {
public:
    explicit FakeWakefulness(EventLog& log) : log_(log) {}
    int held = 0;

    void StayAwake() override {
        ++held;
        log_.push_back("awake");
    }
    void AllowSleep() override {
        --held;
        log_.push_back("may sleep");
    }

private:
    EventLog& log_;
};

// ---------------------------------------------------------------- window

class FakeRunWindow : public RunWindow {
public:
    explicit FakeRunWindow(EventLog& log) : log_(log) {}

    struct Shown {
        CatalogueId id;
        BoxKind kind;
        bool operator==(const Shown&) const = default;
    };
    struct Progress {
        std::wstring text;
        std::uint64_t position;
    };

    // Answers to message boxes by id, used in order; unscripted Yes/No boxes
    // answer No (7), OK boxes OK (1).
    void AnswerTo(CatalogueId id, int button) { answers_[id].push_back(button); }
    // The folder picker's answer; nothing means the user cancels.
    std::optional<std::wstring> folderChoice;
    FaultPlan* faults = nullptr;
    // The user's Cancel, raised once this many progress updates were shown:
    // through `onCancel` (the window's desk) when set, else on the flag.
    void CancelAfterChunks(int chunks);
    // The user's Cancel, at once, the same way.
    void RaiseCancel();
    std::function<void()> onCancel;
    std::atomic<bool> cancelRequested{false};

    const std::vector<Shown>& Messages() const { return messages_; }
    std::vector<CatalogueId> MessageIds() const;
    const std::vector<CatalogueId>& Released() const { return released_; }
    const std::vector<std::uint64_t>& Ranges() const { return ranges_; }
    const std::vector<Progress>& ProgressShown() const { return progress_; }
    int Resets() const { return resets_; }
    int Yields() const { return yields_; }
    int FolderPrompts() const { return folderPrompts_; }

    int ShowMessage(CatalogueId id, BoxKind kind) override;
    void ReportAndRelease(CatalogueId id) override;
    void SetProgressRange(std::uint64_t length) override;
    void ShowProgress(const std::wstring& text, std::uint64_t position) override;
    void ResetIdleControls() override;
    void YieldTime() override { ++yields_; }
    std::optional<std::wstring> ChooseSaveFolder() override;
    void NoteFailure(CatalogueId id, const std::wstring& reason) override;

    struct Failure {
        CatalogueId id;
        std::wstring reason;
    };
    const std::vector<Failure>& Failures() const { return failures_; }

private:
    EventLog& log_;
    std::vector<Failure> failures_;
    std::map<CatalogueId, std::deque<int>> answers_;
    std::vector<Shown> messages_;
    std::vector<CatalogueId> released_;
    std::vector<std::uint64_t> ranges_;
    std::vector<Progress> progress_;
    int resets_ = 0;
    int yields_ = 0;
    int folderPrompts_ = 0;
    std::optional<int> cancelAfterChunks_;
};

}  // namespace cveltrix::test
