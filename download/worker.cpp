#include "download/worker.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "download/paths.h"
#include "download/progress.h"
#include "download/web_mark.h"

namespace cveltrix {

std::wstring ErrorText(std::uint32_t code) { return L"error " + std::to_wstring(code); }

namespace {

constexpr std::uint32_t kChunkSize = 16384;
constexpr std::uint32_t kStatusOk = 200;
constexpr std::uint32_t kStatusPartial = 206;
constexpr std::uint32_t kStatusUnauthorized = 401;
constexpr std::uint32_t kStatusProxyAuthRequired = 407;

std::wstring RangeHeader(std::uint64_t from) { return L"Range: bytes=" + std::to_wstring(from) + L"-"; }

// The answer's status, and the error of the request's last failed call.
std::wstring StatusText(HttpRequest& request) {
    const auto status = request.StatusCode();
    const std::uint32_t error = request.LastError();
    return (status ? L"status " + std::to_wstring(*status) : std::wstring(L"status unreadable")) +
           (error ? L", " + ErrorText(error) : L"");
}

bool HasStatus(HttpRequest& request, std::uint32_t code) {
    const auto status = request.StatusCode();
    return status && *status == code;
}

enum class Challenge { None, Answered, UserNameRefused, NoAnswer };

// Answers a 407 with the credentials. The resend is what carries them, so a
// request is sent again only then; an empty user name sends nothing more.
Challenge AnswerProxyChallenge(HttpRequest& request, const std::wstring& userName, const std::wstring& password) {
    if (!HasStatus(request, kStatusProxyAuthRequired)) return Challenge::None;
    if (!request.SetProxyUserName(userName)) return Challenge::UserNameRefused;
    if (!userName.empty() && request.SetProxyPassword(password) && !request.Resend()) return Challenge::NoAnswer;
    return Challenge::Answered;
}

// After the credentials went out, tinyproxy answers wrong ones with 401,
// others with another 407.
bool CredentialsRefused(HttpRequest& request, Challenge challenge) {
    return challenge == Challenge::UserNameRefused ||
           (challenge == Challenge::Answered &&
            (HasStatus(request, kStatusProxyAuthRequired) || HasStatus(request, kStatusUnauthorized)));
}

// 0 when the answer carries no usable length.
std::int64_t ContentLengthOf(HttpRequest& request) {
    const auto text = request.ContentLengthText();
    const auto length = text ? ParseContentLength(*text) : std::nullopt;
    if (!length || *length > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) return 0;
    return static_cast<std::int64_t>(*length);
}

// Nothing when the answer is no success or gives no usable length.
std::optional<std::int64_t> LengthOfSuccess(HttpRequest& request) {
    const std::int64_t length = HasStatus(request, kStatusOk) ? ContentLengthOf(request) : 0;
    return length > 0 ? std::optional(length) : std::nullopt;
}

// Keeps `reason` for the caller who asked for one; returns `result`.
template <class Result>
Result Noted(std::wstring* why, const std::wstring& reason, Result result) {
    if (why) *why = reason;
    return result;
}

enum class Verb { Head, Get };

// The client is told not to follow redirects, so that a loop or an endless
// chain ends here: after this many hops the last answer is final.
constexpr int kMaxRedirects = 10;

// Where a redirect answer sends the request next, when it is one.
std::optional<std::wstring> RedirectTarget(HttpRequest& request, const std::wstring& url) {
    const auto status = request.StatusCode();
    if (!status || !(*status == 301 || *status == 302 || *status == 303 || *status == 307 || *status == 308)) {
        return std::nullopt;
    }
    const auto location = request.LocationText();
    return location ? ResolveLocation(url, *location) : std::nullopt;
}

struct Answer {
    std::unique_ptr<HttpRequest> request;  // nothing: no answer at all
    bool loginRefused = false;
    // The request is the redirect answer that would have left https.
    bool downgradeRefused = false;
    // "VERB url: " and what went wrong; a plain answer has only the first
    // part, and whoever finds it wanting adds the status.
    std::wstring why;
    // Where a plain answer came from, after the redirects followed.
    std::wstring url = {};
};

std::wstring Asked(Verb verb, const std::wstring& url) { return (verb == Verb::Head ? L"HEAD " : L"GET ") + url + L": "; }

Answer NoAnswer(std::wstring why) { return {nullptr, false, false, std::move(why)}; }

// Every request of a run goes out here, in either way: the proxy's 407
// answered with the login (when there is one), redirects followed with the
// same verb and headers, except one from https to plain http, where anyone
// on the path could swap the file.
Answer Ask(HttpSession& session, Verb verb, std::wstring url, const std::wstring& headers, const ProxyLogin* login) {
    for (int hop = 0;; ++hop) {
        auto request =
            verb == Verb::Head ? session.OpenHead(WithoutFragment(url)) : session.OpenUrl(WithoutFragment(url), headers);
        if (!request) return NoAnswer(Asked(verb, url) + L"no answer, " + ErrorText(session.LastError()));
        if (login) {
            const Challenge challenge = AnswerProxyChallenge(*request, login->userName, login->password);
            if (challenge == Challenge::NoAnswer) {
                return NoAnswer(Asked(verb, url) + L"no answer with the login, " + ErrorText(request->LastError()));
            }
            if (CredentialsRefused(*request, challenge)) {
                std::wstring why = Asked(verb, url) + L"login refused, " +
                                   (challenge == Challenge::UserNameRefused ? ErrorText(request->LastError())
                                                                            : StatusText(*request));
                return {std::move(request), true, false, std::move(why)};
            }
        }
        auto next = hop < kMaxRedirects ? RedirectTarget(*request, url) : std::nullopt;
        if (!next) return {std::move(request), false, false, Asked(verb, url), url};
        if (IsDowngrade(url, *next)) {
            return {std::move(request), false, true, Asked(verb, url) + L"redirect to " + *next + L" refused"};
        }
        url = std::move(*next);
    }
}

// The length of an answer, or why it gives none.
std::optional<std::int64_t> Measured(HttpRequest& request, const std::wstring& asked, std::wstring* why) {
    const auto length = LengthOfSuccess(request);
    return length ? length : Noted(why, asked + StatusText(request) + L", no usable length", length);
}

// A HEAD learns the length without the body crossing the wire. Servers and
// signed URLs that allow only GET answer it with 403, 405 or 501, and some
// leave the length out: a GET without a range is asked then, when the probe
// of the HEAD gives nothing. Any other result (a length, a request that got
// no answer at all, a refused downgrade) is final.

template <class Probe>
std::int64_t HeadThenGet(Probe probe) {
    if (const auto head = probe(Verb::Head)) return *head;
    return probe(Verb::Get).value_or(0);
}

}  // namespace

std::int64_t ProbeDirect(HttpClient& http, const std::wstring& url, std::wstring* why) {
    const auto session = http.OpenPreconfigured();
    if (!session) return Noted(why, L"no internet session, " + ErrorText(http.LastError()), 0);
    return HeadThenGet([&](Verb verb) -> std::optional<std::int64_t> {
        const auto answer = Ask(*session, verb, url, L"", nullptr);
        if (!answer.request || answer.downgradeRefused) return Noted(why, answer.why, 0);
        return Measured(*answer.request, answer.why, why);
    });
}

std::int64_t ProbeThroughProxy(HttpClient& http, const std::wstring& url, const std::wstring& proxyText,
                               const std::wstring& userName, const std::wstring& password, std::wstring* why) {
    const ProxyLogin login{userName, password};
    const auto session = http.OpenThroughProxy(proxyText, login);
    if (!session) {
        return Noted(why, L"no session through the proxy " + proxyText + L", " + ErrorText(http.LastError()),
                     kProbeProxyUnreachable);
    }
    return HeadThenGet([&](Verb verb) -> std::optional<std::int64_t> {
        const auto answer = Ask(*session, verb, url, L"", &login);
        if (!answer.request) return Noted(why, answer.why, kProbeProxyUnreachable);
        if (answer.loginRefused) return Noted(why, answer.why, kProbeProxyAuthFailed);
        if (answer.downgradeRefused) return Noted(why, answer.why, 0);
        return Measured(*answer.request, answer.why, why);
    });
}

namespace {

// One run of the worker. Every path ends in Finish(), which closes the
// requests, sessions and the temp file in one place.
class DownloadRun {
public:
    explicit DownloadRun(WorkerEnvironment& env)
        : env_(env), validatorPath_(ValidatorPathFor(env.tempPath)), sourceUrl_(env.url) {}

    void Execute() {
        if (OpenTempFile() && Connect()) Transfer();
        Finish();
    }

private:
    bool OpenTempFile() {
        file_ = env_.files.OpenAlways(env_.tempPath);
        const auto size = file_ ? file_->Size() : std::nullopt;
        if (!size || !file_->SeekToEnd()) {
            const std::uint32_t error = file_ ? file_->LastError() : env_.files.LastError();
            file_.reset();
            Fail(msg::CreateFailed, L"temp file " + env_.tempPath + L": " + ErrorText(error));
            return false;
        }
        size_ = *size;
        // A temp file from a build that kept no validator resumes unchecked.
        if (size_ > 0) {
            const auto kept = env_.files.ReadText(validatorPath_);
            keptValidator_ = kept ? RangeValidator(std::nullopt, *kept) : std::nullopt;
        }
        return true;
    }

    bool Connect() {
        const bool proxied = env_.settings.mode == ProxyConfig::kUseProxy;
        if (!ProbeLength(proxied) || !StartOverIfLongerOnAnswer()) return false;
        if (Cancelled() || !OpenTransfer(proxied)) return false;
        // Decided before the transfer's status (a server may answer 416),
        // unless the server says the file is no longer the one kept.
        if (size_ == length_ && !(ifRangeSent_ && request_ && HasStatus(*request_, kStatusOk))) {
            Show(msg::AlreadyComplete);
            return false;
        }
        return AcceptTransferStatus(proxied);
    }

    bool ProbeLength(bool proxied) {
        std::wstring why;
        const std::int64_t result =
            proxied ? ProbeThroughProxy(env_.http, env_.url, env_.settings.ProxyText(), env_.settings.userName,
                                        env_.settings.password, &why)
                    : ProbeDirect(env_.http, env_.url, &why);
        if (result > 0) {
            length_ = static_cast<std::uint64_t>(result);
            return true;
        }
        const CatalogueId id = result == kProbeProxyUnreachable  ? msg::ProxyUnreachable
                               : result == kProbeProxyAuthFailed ? msg::ProxyAuthFailed
                                                                 : msg::ServerUnreachable;
        FailAndRelease(id, why);
        return false;
    }

    // A temp file longer than the whole file cannot be its beginning, but a
    // short answer proves nothing (a sign-in portal's page looks the same):
    // only the user's Yes gives the bytes up.
    bool StartOverIfLongerOnAnswer() {
        if (size_ <= length_) return true;
        return Show(msg::AskStartOver) == kAnswerYes && StartOver();
    }

    bool StartOver() {
        if (EmptyTempFile()) return true;
        Fail(msg::WriteFailed, L"emptying the temp file: " + ErrorText(file_->LastError()));
        return false;
    }

    // The temp file emptied, and with it the version it was kept for.
    bool EmptyTempFile() {
        if (!file_->TruncateTo(0)) return false;
        size_ = 0;
        keptValidator_.reset();
        env_.files.Delete(validatorPath_);
        return true;
    }

    bool OpenTransfer(bool proxied) {
        request_.reset();  // before the session it came from
        const ProxyLogin login{env_.settings.userName, env_.settings.password};
        session_ = proxied ? env_.http.OpenThroughProxy(env_.settings.ProxyText(), login)
                           : env_.http.OpenPreconfigured();
        // The range holds only for the version that began the temp file; any
        // other answers with the whole file.
        ifRangeSent_ = size_ > 0 && keptValidator_;
        const std::wstring headers = RangeHeader(size_) + (ifRangeSent_ ? L"\r\nIf-Range: " + *keptValidator_ : L"");
        Answer answer = NoAnswer(L"no internet session, " + ErrorText(env_.http.LastError()));
        if (session_) answer = Ask(*session_, Verb::Get, env_.url, headers, proxied ? &login : nullptr);
        request_ = std::move(answer.request);
        transferWhy_ = std::move(answer.why);
        if (!answer.url.empty()) sourceUrl_ = std::move(answer.url);
        if (proxied && !request_) {
            FailAndRelease(msg::ProxyUnreachable, transferWhy_);
            return false;
        }
        if (answer.loginRefused) {
            Fail(msg::ProxyAuthFailed, transferWhy_);
            return false;
        }
        // A failed direct open is reported after the already-complete check.
        return true;
    }

    // Only a body that continues the temp file is appended: never an error
    // page, never a range that starts elsewhere or belongs to another file.
    bool AcceptTransferStatus(bool proxied) {
        const auto status = request_ ? request_->StatusCode() : std::nullopt;
        if (status == kStatusPartial) return AcceptRange(proxied);
        if (status == kStatusOk) return AcceptWholeFile();
        Fail(msg::ServerUnreachable, request_ ? Asked(Verb::Get, env_.url) + StatusText(*request_) : transferWhy_);
        return false;
    }

    bool AcceptRange(bool proxied) {
        const auto text = request_->ContentRangeText();
        const auto range = text ? ParseContentRange(*text) : std::nullopt;
        const std::wstring what = L"Content-Range " + text.value_or(L"unreadable (" +
                                                                    ErrorText(request_->LastError()) + L")");
        if (!range || range->first != size_) {
            return FailTransfer(what + L" does not continue " + std::to_wstring(size_) + L" bytes");
        }
        if (!range->total || *range->total == length_) return true;
        // Another file now: its beginning is asked for once, and must then
        // be as long as the probe said.
        if (size_ == 0) return FailTransfer(what + L" is not the probed " + std::to_wstring(length_) + L" bytes");
        return StartOver() && OpenTransfer(proxied) && AcceptTransferStatus(proxied);
    }

    // A server that ignores the range, or one whose file is no longer the
    // kept one, sends the whole file; it is taken only when its length
    // agrees with the probe, or an answer that proves nothing would empty
    // the temp file.
    bool AcceptWholeFile() {
        const auto lengthText = request_->ContentLengthText();
        const auto announced = lengthText ? ParseContentLength(*lengthText) : std::nullopt;
        if (announced && *announced != length_) {
            return FailTransfer(L"whole file of " + *lengthText + L" bytes, not the probed " +
                                std::to_wstring(length_));
        }
        return size_ == 0 || StartOver();
    }

    bool FailTransfer(const std::wstring& why) {
        Fail(msg::ServerUnreachable, Asked(Verb::Get, env_.url) + StatusText(*request_) + L", " + why);
        return false;
    }

    // The answer whose body begins the temp file names its version, so that
    // a later resume asks for the rest of that version only. Losing it only
    // costs that check, which a temp file of an older build lacks too.
    void KeepValidator() {
        if (const auto validator = RangeValidator(request_->ETagText(), request_->LastModifiedText())) {
            env_.files.WriteText(validatorPath_, *validator);
        } else {
            env_.files.Delete(validatorPath_);
        }
    }

    void Transfer() {
        std::vector<std::byte> buffer(kChunkSize);
        env_.window.SetProgressRange(length_);
        bodyStart_ = size_;
        if (bodyStart_ == 0) KeepValidator();
        // Hashing alongside the transfer: the file only grows from here on.
        if (env_.pin && env_.hasher) follower_ = env_.hasher->Follow(env_.tempPath);
        bool readOk = true;
        while (readOk) {
            if (Cancelled()) return;
            const std::uint32_t wanted = std::min(request_->QueryAvailable(), kChunkSize);
            std::uint32_t read = 0;
            readOk = request_->Read(std::span(buffer.data(), wanted), read);
            if (!readOk) read = 0;
            if (read == 0) {
                if (size_ < length_) Fail(msg::Disconnected, BodyEndedWhy(readOk));
                return;
            }
            if (read > length_ - size_) return Overran();
            const std::uint64_t written = file_->Write(std::span<const std::byte>(buffer.data(), read));
            size_ += written;
            if (follower_) follower_->Grown(size_);
            if (written < read) {
                Fail(msg::WriteFailed, L"writing the temp file: " + ErrorText(file_->LastError()));
                return;
            }
            env_.window.YieldTime();
            env_.window.ShowProgress(ProgressText(size_, length_), size_);
        }
    }

    // More bytes than announced: whatever this answer brought is suspect,
    // and what the temp file held before it is kept.
    void Overran() {
        file_->TruncateTo(bodyStart_);
        Fail(msg::Damaged, Asked(Verb::Get, env_.url) + L"the body runs past the announced " +
                               std::to_wstring(length_) + L" bytes; the temp file is back at " +
                               std::to_wstring(bodyStart_));
    }

    std::wstring BodyEndedWhy(bool readOk) {
        const std::uint32_t error = request_->LastError();
        return (readOk && error == 0 ? std::wstring(L"the connection ended") : L"reading failed, " + ErrorText(error)) +
               L" after " + std::to_wstring(size_) + L" of " + std::to_wstring(length_) + L" bytes";
    }

    // The temp file stays open, and closed to other writers, from the last
    // byte through the check to the move: what was checked is what is saved.
    void Finish() {
        request_.reset();
        session_.reset();
        // An unreadable size counts as no file: nothing can be checked or offered.
        const std::uint64_t finalSize = file_ ? file_->Size().value_or(0) : 0;
        env_.settings.WipeCredentials();
        const bool complete = length_ > 0 && finalSize == length_;
        if (complete && Verified(finalSize)) SaveFile();
        follower_.reset();
        CloseTempFile();
        env_.window.ResetIdleControls();
    }

    // An empty temp file is no download to resume: nothing is left behind.
    void CloseTempFile() {
        const bool empty = file_ && !saved_ && file_->Size() == 0u;
        file_.reset();
        if (empty && env_.files.Delete(env_.tempPath)) env_.files.Delete(validatorPath_);
    }

    // A readable file with the wrong bytes can never become right by
    // resuming, so it is emptied for a fresh start; one that cannot be read
    // stays for the next try.
    bool Verified(std::uint64_t size) {
        if (!env_.pin) return SignedAsExpected();
        const auto digest = DigestOf(size);
        follower_.reset();
        if (digest == env_.pin) return SignedAsExpected();
        if (digest) EmptyTempFile();
        Fail(msg::Damaged, digest ? L"the file's SHA-256 is not the pinned one" : L"the file could not be read back");
        return false;
    }

    // Without a verifier no signer is found, so nothing passes.
    bool SignedAsExpected() {
        if (env_.signer.empty()) return true;
        const SignatureCheck check = env_.verifier ? env_.verifier->Verify(env_.tempPath) : SignatureCheck{};
        if (SignatureAccepted(check, env_.signer)) return true;
        EmptyTempFile();
        Fail(msg::Damaged, L"the file's signature is refused: " + SignatureText(check));
        return false;
    }

    std::optional<Sha256Digest> DigestOf(std::uint64_t size) {
        if (follower_) return follower_->Finish(size);
        return env_.hasher ? env_.hasher->Sha256OfFile(env_.tempPath) : std::nullopt;
    }

    void SaveFile() {
        Show(msg::DownloadComplete);
        const auto folder = env_.window.ChooseSaveFolder();
        if (!folder) {
            Fail(msg::NoFolderChosen, L"no folder was chosen");
            return;
        }
        env_.chosenFolder = *folder;
        const std::wstring destination = BuildDestinationPath(env_.chosenFolder, env_.url);
        if (!file_->MoveReplacing(destination)) {
            Fail(msg::SaveFailed, L"moving to " + destination + L": " + ErrorText(file_->LastError()));
            return;
        }
        saved_ = true;
        env_.files.Delete(validatorPath_);
        MarkAsDownloaded(destination);
    }

    // The saved file stays saved without its mark; the user is not told.
    void MarkAsDownloaded(const std::wstring& destination) {
        const std::wstring stream = ZoneIdentifierPath(destination);
        if (!env_.files.WriteText(stream, ZoneIdentifierText(sourceUrl_))) {
            env_.window.NoteFailure(kNoMessage, L"writing " + stream + L": " + ErrorText(env_.files.LastError()));
        }
    }

    int Show(CatalogueId id) { return env_.window.ShowMessage(id, BoxKindOf(id)); }
    // A failure message, with its reason noted first.
    void Fail(CatalogueId id, const std::wstring& why) {
        env_.window.NoteFailure(id, why);
        Show(id);
    }
    // The same, with the buttons released as the message goes.
    void FailAndRelease(CatalogueId id, const std::wstring& why) {
        env_.window.NoteFailure(id, why);
        env_.window.ReportAndRelease(id);
    }
    bool Cancelled() const { return env_.cancelRequested.load(); }

    WorkerEnvironment& env_;
    const std::wstring validatorPath_;
    std::unique_ptr<File> file_;
    std::unique_ptr<HttpSession> session_;
    std::unique_ptr<HttpRequest> request_;
    std::unique_ptr<GrowingFileHasher> follower_;
    std::optional<std::wstring> keptValidator_;  // the version the temp file began with
    bool ifRangeSent_ = false;
    bool saved_ = false;
    std::wstring transferWhy_;    // what the transfer request got, when it failed
    std::wstring sourceUrl_;      // where the transfer went after redirects
    std::uint64_t size_ = 0;      // bytes in the temp file
    std::uint64_t bodyStart_ = 0; // bytes in it before the transfer's body
    std::uint64_t length_ = 0;    // the whole file, from the probe
};

}  // namespace

int DownloadWorker(WorkerEnvironment& env) {
    DownloadRun(env).Execute();
    return 0;
}

}  // namespace cveltrix
