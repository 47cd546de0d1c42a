#include "core/run_worker.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <chrono>
#include <optional>
#include <utility>
#include <vector>

#include "core/error_text.h"
#include "core/failure.h"
#include "core/http_headers.h"
#include "core/http_request.h"
#include "core/paths.h"
#include "core/progress.h"
#include "core/run_start.h"
#include "core/web_mark.h"

namespace cveltrix {
namespace {

constexpr std::uint32_t kChunkSize = 16384;

// A scanner that opens the finished file as it appears keeps the move out
// for a moment: the move is tried again this often, this far apart.
constexpr int kMoveWaits = 10;
constexpr std::chrono::milliseconds kMoveWaitStep{500};

std::wstring RangeHeader(std::uint64_t from) { return L"Range: bytes=" + std::to_wstring(from) + L"-"; }

// One run of the worker, as phases. Each phase does its work and names the
// next; every run passes through End, which closes the requests, the
// sessions and the temp file in one place and returns the window to idle.
// Every change of phase is checked against kPhaseChanges (the last column)
// in debug builds and traced, so this table is what the code does.
//
// | phase            | does                                      | next                                     |
// |------------------|-------------------------------------------|------------------------------------------|
// | OpenTempFile     | opens the temp file, reads its record     | Probe; End (a temp file failure)         |
// | Probe            | learns the file's length                  | ConfirmStartOver when the temp file is   |
// |                  |                                           | longer; AskForBody (from 0 when the kept |
// |                  |                                           | length differs); WaitToRetry; End        |
// | ConfirmStartOver | asks before a longer temp file goes       | AskForBody on Yes; End                   |
// | AskForBody       | sends the GET for the rest                | JudgeAnswer; WaitToRetry; End            |
// | JudgeAnswer      | the already-complete check, then whether  | Verify (already complete); Transfer;     |
// |                  | the answer continues the temp file        | AskForBody once, from 0, for a changed   |
// |                  |                                           | file; WaitToRetry; End                   |
// | Transfer         | appends the body                          | Verify when it ended well; WaitToRetry;  |
// |                  |                                           | End                                      |
// | WaitToRetry      | waits before another try, Cancel ends it  | Probe without a length yet; AskForBody;  |
// |                  |                                           | End on Cancel                            |
// | Verify           | the final size, the pin, the signature    | Save; End                                |
// | Save             | message 8, the picker, the move, the mark | End                                      |
//
// Verify, and so Save, follow only a transfer that ended well or a temp
// file found already whole: never a failure. A failure is kept as its kind
// until End, where its message is shown; one that another try may mend
// goes to WaitToRetry instead, while the build's tries last.
enum class Phase { OpenTempFile, Probe, ConfirmStartOver, AskForBody, JudgeAnswer, Transfer, WaitToRetry, Verify, Save, End };

constexpr std::pair<Phase, Phase> kPhaseChanges[] = {
    {Phase::OpenTempFile, Phase::Probe},       {Phase::OpenTempFile, Phase::End},
    {Phase::Probe, Phase::ConfirmStartOver},   {Phase::Probe, Phase::AskForBody},
    {Phase::Probe, Phase::WaitToRetry},        {Phase::Probe, Phase::End},
    {Phase::ConfirmStartOver, Phase::AskForBody}, {Phase::ConfirmStartOver, Phase::End},
    {Phase::AskForBody, Phase::JudgeAnswer},   {Phase::AskForBody, Phase::WaitToRetry},
    {Phase::AskForBody, Phase::End},           {Phase::JudgeAnswer, Phase::Verify},
    {Phase::JudgeAnswer, Phase::Transfer},     {Phase::JudgeAnswer, Phase::AskForBody},
    {Phase::JudgeAnswer, Phase::WaitToRetry},  {Phase::JudgeAnswer, Phase::End},
    {Phase::Transfer, Phase::Verify},          {Phase::Transfer, Phase::WaitToRetry},
    {Phase::Transfer, Phase::End},             {Phase::WaitToRetry, Phase::Probe},
    {Phase::WaitToRetry, Phase::AskForBody},   {Phase::WaitToRetry, Phase::End},
    {Phase::Verify, Phase::Save},              {Phase::Verify, Phase::End},
    {Phase::Save, Phase::End},
};

// Only debug builds check; release builds leave it unused.
[[maybe_unused]] constexpr bool MayChange(Phase from, Phase to) {
    return std::ranges::find(kPhaseChanges, std::pair{from, to}) != std::end(kPhaseChanges);
}

const wchar_t* PhaseName(Phase phase) {
    switch (phase) {
        case Phase::OpenTempFile: return L"open-temp-file";
        case Phase::Probe: return L"probe";
        case Phase::ConfirmStartOver: return L"confirm-start-over";
        case Phase::AskForBody: return L"ask-for-body";
        case Phase::JudgeAnswer: return L"judge-answer";
        case Phase::Transfer: return L"transfer";
        case Phase::WaitToRetry: return L"wait-to-retry";
        case Phase::Verify: return L"verify";
        case Phase::Save: return L"save";
        case Phase::End: break;
    }
    return L"end";
}

// The phases that talk to the server, or wait to: the machine stays awake
// through them, and only them, so that a box left unanswered lets it sleep.
constexpr bool KeepsAwake(Phase phase) {
    return phase == Phase::Probe || phase == Phase::AskForBody || phase == Phase::JudgeAnswer ||
           phase == Phase::Transfer || phase == Phase::WaitToRetry;
}

class DownloadRun {
public:
    explicit DownloadRun(WorkerEnvironment& env)
        : env_(env), proxied_(env.settings.mode == ProxyConfig::kUseProxy),
          validatorPath_(ValidatorPathFor(env.tempPath)), sourceUrl_(env.url) {}

    void Execute() {
        for (Phase phase = Phase::OpenTempFile; phase != Phase::End;) phase = Change(phase, Step(phase));
        Report();
        End();
    }

private:
    // A failure on its way to End, or to another try.
    struct Failure {
        FailureKind kind;
        std::wstring why;
        // Its message releases the buttons as it goes (a failure before the transfer).
        bool release = false;
        std::optional<std::uint64_t> retryAfter = std::nullopt;
    };

    Phase Change(Phase from, Phase to) {
        assert(MayChange(from, to) && "a phase change missing from kPhaseChanges");
        if (env_.trace) env_.trace(L"worker: " + std::wstring(PhaseName(from)) + L" -> " + PhaseName(to));
        if (!KeepsAwake(to)) {
            awake_.reset();
        } else if (!awake_) {
            awake_.emplace(env_.wakefulness);
        }
        return to;
    }

    Phase Step(Phase phase) {
        switch (phase) {
            case Phase::OpenTempFile: return OpenTempFile();
            case Phase::Probe: return Probe();
            case Phase::ConfirmStartOver: return ConfirmStartOver();
            case Phase::AskForBody: return AskForBody();
            case Phase::JudgeAnswer: return JudgeAnswer();
            case Phase::Transfer: return Transfer();
            case Phase::WaitToRetry: return WaitToRetry();
            case Phase::Verify: return Verify();
            case Phase::Save: return Save();
            case Phase::End: break;
        }
        return Phase::End;
    }

    // ---- OpenTempFile

    Phase OpenTempFile() {
        file_ = env_.files.OpenAlways(env_.tempPath);
        const auto size = file_ ? file_->Size() : std::nullopt;
        if (!size || !file_->SeekToEnd()) {
            const std::uint32_t error = file_ ? file_->LastError() : env_.files.LastError();
            file_.reset();
            return Fail(TempFileOpenFailure(error), L"temp file " + env_.tempPath + L": " + ErrorText(error));
        }
        size_ = *size;
        // A temp file without a record (one made by an older build, or by
        // hand) resumes unchecked, as it always did.
        if (size_ > 0) {
            const auto text = env_.files.ReadText(validatorPath_);
            keptVersion_ = text ? ParseFileVersion(*text) : std::nullopt;
        }
        return Phase::Probe;
    }

    // ---- Probe

    Phase Probe() {
        const ProbeResult probe = proxied_ ? ProbeThroughProxy(env_.http, env_.url, env_.settings.ProxyText(),
                                                               env_.settings.userName, env_.settings.password)
                                           : ProbeDirect(env_.http, env_.url);
        if (probe.failure) {
            return Fail({*probe.failure, probe.why, true, probe.retryAfter});
        }
        length_ = probe.length;
        probedETag_ = probe.etag;
        probedLastModified_ = probe.lastModified;
        // A temp file longer than the whole file cannot be its beginning,
        // but a short answer proves nothing (a sign-in portal's page looks
        // the same): only the user's Yes gives the bytes up.
        if (size_ > length_) return Phase::ConfirmStartOver;
        // The length kept with the temp file is the file's it began: a probe
        // of another length proves the server's file has changed since.
        if (size_ > 0 && keptVersion_ && keptVersion_->length != length_) return StartOver(Phase::AskForBody);
        return Phase::AskForBody;
    }

    // ---- ConfirmStartOver

    Phase ConfirmStartOver() {
        return Show(msg::AskStartOver) == kAnswerYes ? StartOver(Phase::AskForBody) : Phase::End;
    }

    // The temp file emptied, and with it the version it was kept for; then `next`.
    Phase StartOver(Phase next) {
        if (EmptyTempFile()) return next;
        return Fail(FailureKind::WriteFailed, L"emptying the temp file: " + ErrorText(file_->LastError()));
    }

    bool EmptyTempFile() {
        follower_.reset();  // it hashed bytes that go now
        if (!file_->TruncateTo(0)) return false;
        size_ = 0;
        keptVersion_.reset();
        env_.files.Delete(validatorPath_);
        return true;
    }

    // ---- AskForBody

    Phase AskForBody() {
        if (Cancelled()) return Phase::End;
        request_.reset();  // before the session it came from
        const ProxyLogin login{env_.settings.userName, env_.settings.password};
        session_ = proxied_ ? env_.http.OpenThroughProxy(env_.settings.ProxyText(), login)
                            : env_.http.OpenPreconfigured();
        // The range holds only for the version that began the temp file; any
        // other answers with the whole file.
        const std::wstring headers = RangeHeader(size_) + (IfRangeSent() ? L"\r\nIf-Range: " + *KeptValidator() : L"");
        Answer answer = NoAnswer(L"no internet session, " + ErrorText(env_.http.LastError()));
        if (session_) answer = Ask(*session_, Verb::Get, env_.url, headers, proxied_ ? &login : nullptr);
        request_ = std::move(answer.request);
        transferWhy_ = std::move(answer.why);
        if (!answer.url.empty()) sourceUrl_ = std::move(answer.url);
        if (proxied_ && !request_) return Fail({FailureKind::ProxyUnreachable, transferWhy_, true});
        if (answer.loginRefused) return Fail(FailureKind::ProxyLoginRefused, transferWhy_);
        // A failed direct open is reported after the already-complete check.
        return Phase::JudgeAnswer;
    }

    std::optional<std::wstring> KeptValidator() const {
        return keptVersion_ ? keptVersion_->validator : std::nullopt;
    }
    // Only a resume of a version with a strong validator asks with If-Range.
    bool IfRangeSent() const { return size_ > 0 && KeptValidator(); }

    // ---- JudgeAnswer

    // Only a body that continues the temp file is appended: never an error
    // page, never a range that starts elsewhere or belongs to another file.
    Phase JudgeAnswer() {
        // Decided before the answer's status (a server may answer 416),
        // unless the server says the file is no longer the one kept.
        if (size_ == length_ && !(IfRangeSent() && request_ && HasStatus(*request_, kStatusOk))) {
            // A server that ignores If-Range still names its version in the
            // probe: a whole temp file of another one is a changed file.
            if (!ProbeCarriesKeptVersion()) return StartOver(Phase::AskForBody);
            Show(msg::AlreadyComplete);
            return Phase::Verify;
        }
        const auto status = request_ ? request_->StatusCode() : std::nullopt;
        if (status == kStatusPartial) return JudgeRange();
        if (status == kStatusOk) return JudgeWholeFile();
        if (!request_) return Fail(FailureKind::NoAnswer, transferWhy_);
        const FailureKind kind = status ? KindOfStatus(*status) : FailureKind::ServerSaysNo;
        return Fail({kind, Asked(Verb::Get, env_.url) + StatusText(*request_), false, RetryAfterOf(*request_)});
    }

    Phase JudgeRange() {
        const auto text = request_->ContentRangeText();
        const auto range = text ? ParseContentRange(*text) : std::nullopt;
        const std::wstring what = L"Content-Range " + text.value_or(L"unreadable (" +
                                                                    ErrorText(request_->LastError()) + L")");
        if (!range || range->first != size_) {
            return FailTransfer(FailureKind::RangeElsewhere, what + L" does not continue " + std::to_wstring(size_) + L" bytes");
        }
        if ((!range->total || *range->total == length_) && ContinuesKeptVersion()) return Phase::Transfer;
        // Another file now: its beginning is asked for once, and must then
        // be as long as the probe said.
        if (size_ == 0) {
            return FailTransfer(FailureKind::WrongLength, what + L" is not the probed " + std::to_wstring(length_) + L" bytes");
        }
        return StartOver(Phase::AskForBody);
    }

    bool ProbeCarriesKeptVersion() const {
        const auto validator = KeptValidator();
        return !validator || CarriesVersion(*validator, probedETag_, probedLastModified_);
    }

    // A server, or a cache on the way, may honour the range but not
    // If-Range: the range's own validator must still name the kept version.
    bool ContinuesKeptVersion() {
        const auto validator = KeptValidator();
        return size_ == 0 || !validator || CarriesVersion(*validator, request_->ETagText(), request_->LastModifiedText());
    }

    // A server that ignores the range, or one whose file is no longer the
    // kept one, sends the whole file. To a resume it is taken only with the
    // probed length, or an answer that proves nothing (an error page sent
    // without a length, say) would empty the temp file.
    Phase JudgeWholeFile() {
        const auto lengthText = request_->ContentLengthText();
        const auto announced = lengthText ? ParseContentLength(*lengthText) : std::nullopt;
        if (announced ? *announced != length_ : size_ > 0) {
            return FailTransfer(FailureKind::WrongLength, L"whole file of " + lengthText.value_or(L"unannounced") + L" bytes, not the probed " +
                                std::to_wstring(length_));
        }
        return size_ == 0 ? Phase::Transfer : StartOver(Phase::Transfer);
    }

    Phase FailTransfer(FailureKind kind, const std::wstring& why) {
        return Fail(kind, Asked(Verb::Get, env_.url) + StatusText(*request_) + L", " + why);
    }

    // ---- Transfer

    Phase Transfer() {
        std::vector<std::byte> buffer(kChunkSize);
        env_.window.SetProgressRange(length_);
        bodyStart_ = size_;
        if (bodyStart_ == 0) KeepVersion();
        // Hashing alongside the transfer: the file only grows from here on,
        // so the hash of an earlier try of this run goes on.
        if (env_.pin && env_.hasher && !follower_) follower_ = env_.hasher->Follow(env_.tempPath);
        for (;;) {
            // Even past the last byte a Cancel ends the run: the guard would
            // silence message 8 and the picker anyway, and the whole file
            // is offered by the next Start.
            if (Cancelled()) return Phase::End;
            const std::uint32_t wanted = std::min(request_->QueryAvailable(), kChunkSize);
            std::uint32_t read = 0;
            const bool readOk = request_->Read(std::span(buffer.data(), wanted), read);
            if (!readOk) read = 0;
            if (read == 0) {
                if (size_ < length_) return Fail(BodyEndedKind(), BodyEndedWhy(readOk));
                return Phase::Verify;
            }
            if (read > length_ - size_) return Overran();
            const std::uint64_t written = file_->Write(std::span<const std::byte>(buffer.data(), read));
            size_ += written;
            if (written > 0) triesWithoutBytes_ = 0;
            if (follower_) follower_->Grown(size_);
            if (written < read) {
                return Fail(FailureKind::WriteFailed, L"writing the temp file: " + ErrorText(file_->LastError()));
            }
            env_.window.YieldTime();
            env_.window.ShowProgress(ProgressText(size_, length_), size_);
        }
    }

    // The answer whose body begins the temp file names its version, so that
    // a later resume, and another try of this run, asks for the rest of that
    // version only. Losing the record only costs that check on a later
    // resume, which a temp file of an older build lacks too.
    void KeepVersion() {
        keptVersion_ = FileVersion{length_, RangeValidator(request_->ETagText(), request_->LastModifiedText(),
                                                             request_->DateText())};
        env_.files.WriteText(validatorPath_, FileVersionText(*keptVersion_));
    }

    // More bytes than announced: whatever this answer brought is suspect,
    // and what the temp file held before it is kept.
    Phase Overran() {
        file_->TruncateTo(bodyStart_);
        return Fail(FailureKind::Overran, Asked(Verb::Get, env_.url) + L"the body runs past the announced " +
                                      std::to_wstring(length_) + L" bytes; the temp file is back at " +
                                      std::to_wstring(bodyStart_));
    }

    FailureKind BodyEndedKind() const {
        return request_->LastError() == kErrorSilence ? FailureKind::WentSilent : FailureKind::Disconnected;
    }

    std::wstring BodyEndedWhy(bool readOk) {
        const std::uint32_t error = request_->LastError();
        return (readOk && error == 0 ? std::wstring(L"the connection ended") : L"reading failed, " + ErrorText(error)) +
               L" after " + std::to_wstring(size_) + L" of " + std::to_wstring(length_) + L" bytes";
    }

    // ---- Verify

    // The temp file stays open, and closed to other writers, from the last
    // byte through the check to the move: what was checked is what is saved.
    // A readable file with the wrong bytes can never become right by
    // resuming, so it is emptied for a fresh start; one that cannot be read
    // stays for the next try.
    Phase Verify() {
        ReleaseConnection();
        // An unreadable size counts as no file: nothing can be checked or offered.
        const std::uint64_t finalSize = file_->Size().value_or(0);
        if (length_ == 0 || finalSize != length_) return Phase::End;
        if (!env_.pin) return SignedAsExpected(false);
        const auto digest = DigestOf(finalSize);
        follower_.reset();
        if (digest == env_.pin) return SignedAsExpected(true);
        if (digest) EmptyTempFile();
        return Fail(digest ? FailureKind::DigestMismatch : FailureKind::Unreadable,
                    digest ? L"the file's SHA-256 is not the pinned one" : L"the file could not be read back");
    }

    // Without a verifier no signer is found, so nothing passes. Bytes the
    // pin proved are the vendor's: a refusal then speaks of this machine's
    // trust (its roots, its clock), and a new download would end the same.
    Phase SignedAsExpected(bool pinMatched) {
        if (env_.signer.empty()) return Phase::Save;
        const SignatureCheck check = env_.verifier ? env_.verifier->Verify(env_.tempPath) : SignatureCheck{};
        if (SignatureAccepted(check, env_.signer)) return Phase::Save;
        // No verdict on a file the check could not open: it stays for the next try.
        if (check.openError != 0) {
            return Fail(FailureKind::SignatureUnopened,
                        L"the file could not be opened for its signature check: " + ErrorText(check.openError));
        }
        if (pinMatched) {
            return Fail(FailureKind::SignatureRefused,
                        L"the file's SHA-256 is the pinned one, but its signature is refused here: " +
                            SignatureText(check));
        }
        EmptyTempFile();
        return Fail(FailureKind::SignatureRefused, L"the file's signature is refused: " + SignatureText(check));
    }

    std::optional<Sha256Digest> DigestOf(std::uint64_t size) {
        if (follower_) return follower_->Finish(size);
        return env_.hasher ? env_.hasher->Sha256OfFile(env_.tempPath) : std::nullopt;
    }

    // ---- Save

    Phase Save() {
        // Not shown or dropped (a Cancel, the window going): no picker, and
        // the whole file waits for the next Start.
        if (Show(msg::DownloadComplete) == 0) return Phase::End;
        const auto folder = env_.window.ChooseSaveFolder();
        if (!folder) return Fail(FailureKind::NoFolderChosen, L"no folder was chosen");
        env_.chosenFolder = *folder;
        const std::wstring destination = BuildDestinationPath(env_.chosenFolder, env_.url);
        if (!MoveOnceFree(destination)) {
            return Fail(FailureKind::MoveFailed, L"moving to " + destination + L": " + ErrorText(file_->LastError()));
        }
        saved_ = true;
        env_.files.Delete(validatorPath_);
        MarkAsDownloaded(destination);
        return Phase::End;
    }

    // A file held by another process (a scanner looking at it as it
    // appeared, say) is waited for a few seconds; any other error is final.
    bool MoveOnceFree(const std::wstring& destination) {
        for (int waits = 0;; ++waits) {
            if (file_->MoveReplacing(destination)) return true;
            const std::uint32_t error = file_->LastError();
            const bool held = error == kErrorSharingViolation || error == kErrorAccessDenied;
            if (!held || waits == kMoveWaits || !Wait(kMoveWaitStep)) return false;
        }
    }

    // The saved file stays saved without its mark; the user is not told.
    void MarkAsDownloaded(const std::wstring& destination) {
        const std::wstring stream = ZoneIdentifierPath(destination);
        if (!env_.files.WriteText(stream, ZoneIdentifierText(sourceUrl_))) {
            Note(FailureKind::MarkUnwritten, L"writing " + stream + L": " + ErrorText(env_.files.LastError()));
        }
    }

    // ---- WaitToRetry

    // The connection goes (the login stays for the next try), the line says
    // when the next try comes, and the bar stays where the bytes are.
    Phase WaitToRetry() {
        ++triesWithoutBytes_;
        const auto wait = RetryWait(triesWithoutBytes_, failure_->retryAfter);
        env_.window.NoteFailure(kNoMessage,
                                failure_->why + L"; trying again in " + std::to_wstring(wait.count()) + L" s");
        request_.reset();
        session_.reset();
        env_.window.ShowProgress(RetryWaitText(env_.language, static_cast<std::uint64_t>(wait.count()),
                                               triesWithoutBytes_, env_.retries),
                                 size_);
        failure_.reset();
        if (!Wait(wait)) return Phase::End;
        // Without a length the probe is asked again; with one, the rest is.
        return length_ == 0 ? Phase::Probe : Phase::AskForBody;
    }

    bool Wait(std::chrono::milliseconds duration) {
        return env_.pause && env_.pause->Wait(duration, env_.cancelRequested);
    }

    // ---- End

    void End() {
        ReleaseConnection();
        follower_.reset();
        CloseTempFile();
        env_.window.ResetIdleControls();
    }

    void ReleaseConnection() {
        request_.reset();
        session_.reset();
        env_.settings.WipeCredentials();
    }

    // An empty temp file is no download to resume: nothing is left behind.
    void CloseTempFile() {
        const bool empty = file_ && !saved_ && file_->Size() == 0u;
        file_.reset();
        if (empty && env_.files.Delete(env_.tempPath)) env_.files.Delete(validatorPath_);
    }

    // ---- Messages

    int Show(CatalogueId id) { return env_.window.ShowMessage(id, BoxKindOf(id)); }

    // The run ends with `failure`, or, when another try may mend it and the
    // tries last, waits for that try.
    Phase Fail(Failure failure) {
        const bool retry = RuleOf(failure.kind).retryable && triesWithoutBytes_ < env_.retries && !Cancelled();
        failure_ = std::move(failure);
        return retry ? Phase::WaitToRetry : Phase::End;
    }
    Phase Fail(FailureKind kind, std::wstring why) { return Fail({kind, std::move(why)}); }

    // The failure the run ended with: its reason noted first, then its
    // message, looked up here and nowhere else.
    void Report() {
        if (!failure_) return;
        Note(failure_->kind, failure_->why);
        const CatalogueId id = RuleOf(failure_->kind).message;
        if (failure_->release) {
            env_.window.ReportAndRelease(id);
        } else {
            Show(id);
        }
    }
    void Note(FailureKind kind, const std::wstring& why) { env_.window.NoteFailure(RuleOf(kind).message, why); }

    bool Cancelled() const { return env_.cancelRequested.load(); }

    WorkerEnvironment& env_;
    const bool proxied_;
    // OpenTempFile → End: the temp file, its size, and the version it began with.
    const std::wstring validatorPath_;
    std::unique_ptr<File> file_;
    std::uint64_t size_ = 0;
    std::optional<FileVersion> keptVersion_;
    bool saved_ = false;  // Save: moved away, so no longer ours to remove
    // Probe → End: the whole file's length, and the version the probe named.
    std::uint64_t length_ = 0;
    std::optional<std::wstring> probedETag_;
    std::optional<std::wstring> probedLastModified_;
    // AskForBody → Transfer: the request for the body and what it got.
    std::unique_ptr<HttpSession> session_;
    std::unique_ptr<HttpRequest> request_;
    std::wstring transferWhy_;  // what the request got, when it failed
    std::wstring sourceUrl_;    // where it went after redirects: the saved file's mark
    // Transfer → Verify: where this answer's body began, and the hash that follows it.
    std::uint64_t bodyStart_ = 0;
    std::unique_ptr<GrowingFileHasher> follower_;
    // Any phase → End: what went wrong, and the tries in a row that brought no byte.
    std::optional<Failure> failure_;
    int triesWithoutBytes_ = 0;
    // Awake through the phases that talk to the server.
    std::optional<AwakeHold> awake_;
};

}  // namespace

int DownloadWorker(WorkerEnvironment& env) {
    DownloadRun(env).Execute();
    return 0;
}

}  // namespace cveltrix
