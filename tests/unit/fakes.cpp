#include "fakes.h"

#include <algorithm>
#include <limits>

namespace cveltrix::test {
namespace {

// Headers and messages in the log are plain ASCII.
std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// What a proxy sends back instead of forwarding a request it has not let
// through: a short page of its own.
constexpr std::uint64_t kProxyPageSize = 120;

class FakeRequest : public HttpRequest {
public:
    FakeRequest(RequestScript script, bool head, std::shared_ptr<RequestRecord> record, EventLog& log,
                std::shared_ptr<int> live, std::shared_ptr<bool> sessionAlive, std::shared_ptr<int> orphaned,
                FaultPlan* faults)
        : script_(std::move(script)), head_(head), record_(std::move(record)), log_(log), live_(std::move(live)),
          sessionAlive_(std::move(sessionAlive)), orphaned_(std::move(orphaned)), faults_(faults) {
        ++*live_;
    }
    ~FakeRequest() override {
        --*live_;
        if (!*sessionAlive_) ++*orphaned_;
        log_.push_back("close request");
    }

    bool Resend() override {
        if (Trips(faults_, Verb("resend"))) return Failed(false);
        ++record_->resends;
        if (StatusCode() != 407u || !newCredentials_) ++record_->pointlessResends;
        newCredentials_ = false;
        if (script_.proxyAuth && userName_) {
            credentialsTried_ = true;
            admitted_ = *userName_ == script_.proxyAuth->userName && password_ == script_.proxyAuth->password;
        }
        return script_.resendUnanswered ? Failed(false) : true;
    }

    std::optional<std::uint32_t> StatusCode() override {
        if (QueryFails("status")) return std::nullopt;
        if (Admitted()) return script_.status;
        return credentialsTried_ ? script_.proxyAuth->refusal : 407u;
    }

    std::optional<std::wstring> ContentLengthText() override {
        if (QueryFails("length")) return std::nullopt;
        return Admitted() ? script_.contentLength : std::to_wstring(kProxyPageSize);
    }
    std::optional<std::wstring> ContentRangeText() override {
        if (QueryFails("range")) return std::nullopt;
        return Admitted() ? script_.contentRange : std::nullopt;
    }
    std::optional<std::wstring> LocationText() override { return Admitted() ? script_.location : std::nullopt; }
    std::optional<std::wstring> ETagText() override { return Admitted() ? script_.etag : std::nullopt; }
    std::optional<std::wstring> LastModifiedText() override {
        return Admitted() ? script_.lastModified : std::nullopt;
    }
    std::optional<std::wstring> DateText() override { return Admitted() ? script_.date : std::nullopt; }
    std::optional<std::wstring> RetryAfterText() override { return Admitted() ? script_.retryAfter : std::nullopt; }
    std::uint32_t LastError() const override { return errors_.Code(); }

    bool SetProxyUserName(const std::wstring& userName) override {
        record_->userNamesSet.push_back(userName);
        if (script_.failSetUserName || Trips(faults_, "user name")) return Failed(false);
        userName_ = userName;
        newCredentials_ = true;
        return true;
    }
    bool SetProxyPassword(const std::wstring& password) override {
        record_->passwordsSet.push_back(password);
        if (script_.failSetPassword || Trips(faults_, "password")) return Failed(false);
        password_ = password;
        newCredentials_ = true;
        return true;
    }

    std::uint32_t QueryAvailable() override {
        if (Trips(faults_, "query")) return Failed(0u);
        const std::uint64_t left = BodyEnd() - record_->delivered;
        return static_cast<std::uint32_t>(std::min<std::uint64_t>(left, script_.available));
    }

    bool Read(std::span<std::byte> buffer, std::uint32_t& read) override {
        record_->readSizes.push_back(buffer.size());
        read = 0;
        if (Trips(faults_, "read")) return Failed(false);
        if (script_.failReadAfter && record_->delivered >= *script_.failReadAfter) {
            return errors_.Failed(false, script_.readError);
        }
        const std::uint64_t end = std::min(BodyEnd(), script_.failReadAfter.value_or(BodyEnd()));
        const std::uint64_t count = std::min<std::uint64_t>(buffer.size(), end - record_->delivered);
        const auto bytes = Pattern(BodyOffset() + record_->delivered, count);
        std::copy(bytes.begin(), bytes.end(), buffer.begin());
        record_->delivered += count;
        read = static_cast<std::uint32_t>(count);
        return true;
    }

private:
    std::string Verb(const std::string& call) const { return call + (head_ ? " HEAD" : " GET"); }
    // A header query that failed keeps failing on this request.
    bool QueryFails(const std::string& what) {
        if (!queryFailed_ && Trips(faults_, Verb(what))) queryFailed_ = Failed(true);
        return queryFailed_;
    }
    template <class Result>
    Result Failed(Result result) {
        return errors_.Failed(result);
    }
    bool Admitted() const { return !script_.proxyAuth || admitted_; }
    std::uint64_t BodyOffset() const { return Admitted() ? script_.bodyOffset : 0; }
    std::uint64_t BodyEnd() const {
        if (head_) return 0;
        const std::uint64_t size = Admitted() ? script_.bodySize : kProxyPageSize;
        return std::min(size, script_.dropAfter.value_or(size));
    }

    RequestScript script_;
    bool head_;
    std::shared_ptr<RequestRecord> record_;
    EventLog& log_;
    std::shared_ptr<int> live_;
    std::shared_ptr<bool> sessionAlive_;
    std::shared_ptr<int> orphaned_;
    std::optional<std::wstring> userName_;
    std::optional<std::wstring> password_;
    bool credentialsTried_ = false;
    bool newCredentials_ = false;
    bool admitted_ = false;
    FaultPlan* faults_;
    bool queryFailed_ = false;
    ErrorRecord errors_;
};

}  // namespace

class FakeFile : public File {
public:
    FakeFile(FakeFileSystem& files, std::wstring path, FakeFileData& data, EventLog& log)
        : files_(files), path_(std::move(path)), data_(data), log_(log) {
        ++data_.openHandles;
    }
    ~FakeFile() override {
        --data_.openHandles;
        log_.push_back("close file");
    }

    std::optional<std::uint64_t> Size() override {
        log_.push_back("size");
        if (files_.failSize || Trips(files_.faults, "size")) return Failed(std::optional<std::uint64_t>());
        return data_.Size();
    }
    bool SeekToEnd() override {
        if (Trips(files_.faults, "seek")) return Failed(false);
        position_ = data_.Size();
        return true;
    }
    std::uint64_t Write(std::span<const std::byte> data) override {
        log_.push_back("write");
        if (Trips(files_.faults, "write")) return Failed(std::uint64_t{0});
        const std::uint64_t count = std::min<std::uint64_t>(data.size(), files_.Room());
        if (count < data.size()) Failed(count);
        if (position_ < data_.untracked) {
            ++data_.misplacedWrites;
        } else {
            const std::uint64_t at = position_ - data_.untracked;
            if (at + count > data_.bytes.size()) data_.bytes.resize(at + count);
            std::copy_n(data.begin(), count, data_.bytes.begin() + static_cast<std::ptrdiff_t>(at));
        }
        position_ += count;
        return count;
    }
    bool TruncateTo(std::uint64_t size) override {
        log_.push_back("truncate");
        if (files_.failTruncate || Trips(files_.faults, "truncate") || size > data_.Size()) return Failed(false);
        if (size <= data_.untracked) {
            data_.untracked = size;
            data_.bytes.clear();
        } else {
            data_.bytes.resize(size - data_.untracked);
        }
        position_ = size;
        return true;
    }

    bool MoveReplacing(const std::wstring& to) override {
        log_.push_back("move");
        files_.moves.push_back({path_, to});
        if (files_.heldMoves > 0) {
            --files_.heldMoves;
            return errors_.Failed(false, files_.heldError);
        }
        if (files_.failMove || Trips(files_.faults, "move") || !files_.MoveOpen(path_, to)) return Failed(false);
        path_ = to;
        return true;
    }

    std::uint32_t LastError() const override { return errors_.Code(); }

private:
    template <class Result>
    Result Failed(Result result) {
        return errors_.Failed(result);
    }

    FakeFileSystem& files_;
    std::wstring path_;
    FakeFileData& data_;
    EventLog& log_;
    std::uint64_t position_ = 0;
    ErrorRecord errors_;
};

bool FaultPlan::Trips(const std::string& label) {
    const int ordinal = ++seen[label];
    if (++calls != failAt) return false;
    failed = label + "#" + std::to_string(ordinal);
    return true;
}

int FindEvent(const EventLog& log, const std::string& event, int from) {
    for (int i = from; i < static_cast<int>(log.size()); ++i)
        if (log[i] == event) return i;
    return -1;
}

int FindLastEvent(const EventLog& log, const std::string& event) {
    for (int i = static_cast<int>(log.size()) - 1; i >= 0; --i)
        if (log[i] == event) return i;
    return -1;
}

std::byte PatternByte(std::uint64_t offset) {
    return static_cast<std::byte>((offset % 251) ^ ((offset / 251) % 256));
}

std::vector<std::byte> Pattern(std::uint64_t from, std::uint64_t count) {
    std::vector<std::byte> bytes(count);
    for (std::uint64_t i = 0; i < count; ++i) bytes[i] = PatternByte(from + i);
    return bytes;
}

// ---------------------------------------------------------------- HTTP

RequestScript ProbeAnswer(std::uint64_t length) {
    RequestScript script;
    script.contentLength = std::to_wstring(length);
    script.bodySize = length;
    return script;
}

RequestScript PartialAnswer(std::uint64_t from, std::uint64_t length) {
    RequestScript script;
    script.status = 206;
    script.contentLength = std::to_wstring(length - from);
    script.contentRange = L"bytes " + std::to_wstring(from) + L"-" + std::to_wstring(length - 1) + L"/" +
                          std::to_wstring(length);
    script.bodyOffset = from;
    script.bodySize = length - from;
    return script;
}

RequestScript WholeAnswer(std::uint64_t length) { return ProbeAnswer(length); }

RequestScript Tagged(RequestScript script, std::wstring etag) {
    script.etag = std::move(etag);
    return script;
}

RequestScript ErrorAnswer(std::uint32_t status) {
    RequestScript script;
    script.status = status;
    script.contentLength = L"300";
    script.bodySize = 300;
    return script;
}

RequestScript UnreachableAnswer() {
    RequestScript script;
    script.unreachable = true;
    return script;
}

class FakeSession : public HttpSession {
public:
    // `way`: how every request of the session goes, filled in per request.
    FakeSession(FakeHttpClient& client, OpenedUrl way) : client_(client), way_(std::move(way)) {
        ++*client_.liveSessions_;
    }
    ~FakeSession() override {
        *alive_ = false;
        --*client_.liveSessions_;
        client_.log_.push_back("close session");
    }

    std::unique_ptr<HttpRequest> OpenUrl(const std::wstring& url, const std::wstring& extraHeaders) override {
        client_.log_.push_back("open url " + Narrow(extraHeaders));
        return Request(L"GET", url, extraHeaders);
    }

    std::unique_ptr<HttpRequest> OpenHead(const std::wstring& url) override {
        client_.log_.push_back("open head");
        return Request(L"HEAD", url, L"");
    }

    std::uint32_t LastError() const override { return errors_.Code(); }

private:
    std::unique_ptr<HttpRequest> Request(const std::wstring& verb, const std::wstring& url,
                                         const std::wstring& extraHeaders) {
        OpenedUrl opened = way_;
        opened.verb = verb;
        opened.url = url;
        opened.headers = extraHeaders;
        client_.opened_.push_back(std::move(opened));
        if ((client_.scripts_.empty() && !client_.answerer) || Trips(client_.faults, "open " + Narrow(verb))) {
            return errors_.Failed(nullptr);
        }
        RequestScript script = client_.answerer ? client_.answerer(client_.opened_.back()) : client_.scripts_.front();
        if (!client_.answerer) client_.scripts_.pop_front();
        if (script.unreachable) return errors_.Failed(nullptr);
        auto record = std::make_shared<RequestRecord>();
        client_.requests_.push_back(record);
        return std::make_unique<FakeRequest>(std::move(script), verb == L"HEAD", record, client_.log_,
                                             client_.liveRequests_, alive_, client_.orphaned_, client_.faults);
    }

    FakeHttpClient& client_;
    OpenedUrl way_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    ErrorRecord errors_;
};

std::unique_ptr<HttpSession> FakeHttpClient::Open(OpenedUrl way) {
    log_.push_back(way.throughProxy ? "open proxy session" : "open session");
    if (failSessions || Trips(faults, "session")) return errors_.Failed(nullptr);
    return std::make_unique<FakeSession>(*this, std::move(way));
}

std::vector<std::wstring> FakeHttpClient::Sent() const {
    std::vector<std::wstring> sent;
    for (const OpenedUrl& opened : opened_) {
        sent.push_back(opened.headers.empty() ? opened.verb : opened.verb + L" " + opened.headers);
    }
    return sent;
}

int FakeHttpClient::PointlessResends() const {
    int count = 0;
    for (const auto& request : requests_) count += request->pointlessResends;
    return count;
}

std::unique_ptr<HttpSession> FakeHttpClient::OpenPreconfigured() { return Open({}); }

std::unique_ptr<HttpSession> FakeHttpClient::OpenThroughProxy(const std::wstring& proxyText, const ProxyLogin& login) {
    OpenedUrl way;
    way.throughProxy = true;
    way.proxyText = proxyText;
    way.proxyUserName = login.userName;
    way.proxyPassword = login.password;
    return Open(std::move(way));
}

// ---------------------------------------------------------------- files

void FakeFileSystem::Put(const std::wstring& path, std::uint64_t size) { files[path].bytes = Pattern(0, size); }

void FakeFileSystem::PutUntracked(const std::wstring& path, std::uint64_t size) { files[path].untracked = size; }

bool FakeFileSystem::HoldsPattern(const std::wstring& path) const {
    const FakeFileData& data = files.at(path);
    return data.misplacedWrites == 0 && data.bytes == Pattern(data.untracked, data.bytes.size());
}

std::uint64_t FakeFileSystem::Room() const {
    if (!capacity) return std::numeric_limits<std::uint64_t>::max();
    std::uint64_t used = 0;
    for (const auto& [path, data] : files) used += data.Size();
    return used >= *capacity ? 0 : *capacity - used;
}

std::unique_ptr<File> FakeFileSystem::OpenAlways(const std::wstring& path) {
    log_.push_back("open file");
    if (failOpen || Trips(faults, "open file")) return errors_.Failed(nullptr);
    if (heldElsewhere.contains(path)) return errors_.Failed(nullptr, kErrorSharingViolation);
    return std::make_unique<FakeFile>(*this, path, files[path], log_);
}

// Like the platform, an open file cannot be deleted.
bool FakeFileSystem::Delete(const std::wstring& path) {
    log_.push_back("delete");
    deletes.push_back(path);
    if (failDelete || Trips(faults, "delete")) return errors_.Failed(false);
    if (texts.erase(path)) return true;
    const auto found = files.find(path);
    if (found == files.end() || found->second.openHandles > 0) {
        return errors_.Failed(false);
    }
    deletedBytes += found->second.Size();
    files.erase(found);
    return true;
}

std::optional<std::wstring> FakeFileSystem::ReadText(const std::wstring& path) {
    const auto found = texts.find(path);
    if (Trips(faults, "read text") || found == texts.end()) return errors_.Failed(std::nullopt);
    return found->second;
}

// The node keeps its address, so the open handles' data follow it.
bool FakeFileSystem::MoveOpen(const std::wstring& from, const std::wstring& to) {
    if (const auto target = files.find(to); target != files.end()) {
        if (target->second.openHandles > 0) return false;
        files.erase(target);
    }
    auto node = files.extract(from);
    node.key() = to;
    files.insert(std::move(node));
    return true;
}

// A stream "file:name" fails apart from a file of its own.
bool FakeFileSystem::WriteText(const std::wstring& path, const std::wstring& text) {
    const bool stream = path.find(L':', 2) != std::wstring::npos;
    log_.push_back(stream ? "write stream" : "write text");
    if (Trips(faults, stream ? "write stream" : "write text")) return errors_.Failed(false);
    texts[path] = text;
    return true;
}

// ---------------------------------------------------------------- window

std::vector<CatalogueId> FakeRunWindow::MessageIds() const {
    std::vector<CatalogueId> ids;
    for (const Shown& shown : messages_) ids.push_back(shown.id);
    return ids;
}

int FakeRunWindow::ShowMessage(CatalogueId id, BoxKind kind) {
    messages_.push_back({id, kind});
    log_.push_back("message " + std::to_string(id));
    auto& queue = answers_[id];
    if (queue.empty()) return kind == BoxKind::YesNo ? 7 : 1;
    const int answer = queue.front();
    queue.pop_front();
    return answer;
}

void FakeRunWindow::ReportAndRelease(CatalogueId id) {
    released_.push_back(id);
    log_.push_back("release " + std::to_string(id));
}

void FakeRunWindow::SetProgressRange(std::uint64_t length) {
    ranges_.push_back(length);
    log_.push_back("range");
}

void FakeRunWindow::ShowProgress(const std::wstring& text, std::uint64_t position) {
    progress_.push_back({text, position});
    if (cancelAfterChunks_ && static_cast<int>(progress_.size()) == *cancelAfterChunks_) RaiseCancel();
}

void FakeRunWindow::CancelAfterChunks(int chunks) {
    cancelAfterChunks_ = chunks;
    if (chunks <= 0) RaiseCancel();
}

void FakeRunWindow::RaiseCancel() {
    if (onCancel) {
        onCancel();
    } else {
        cancelRequested.store(true);
    }
}

void FakeRunWindow::ResetIdleControls() {
    ++resets_;
    log_.push_back("reset");
}

void FakeRunWindow::NoteFailure(CatalogueId id, const std::wstring& reason) {
    failures_.push_back({id, reason});
    log_.push_back("note " + std::to_string(id));
}

std::optional<std::wstring> FakeRunWindow::ChooseSaveFolder() {
    ++folderPrompts_;
    log_.push_back("choose folder");
    return Trips(faults, "picker") ? std::nullopt : folderChoice;
}

namespace {

class FakeFollower final : public GrowingFileHasher {
public:
    explicit FakeFollower(FakeHasher& owner) : owner_(owner) { ++owner_.openFollowers; }
    ~FakeFollower() override { Abandon(); }
    void Grown(std::uint64_t size) override { owner_.grown.push_back(size); }
    std::optional<Sha256Digest> Finish(std::uint64_t size) override {
        owner_.finishedAt = size;
        if (!open_ || Trips(owner_.faults, "finish hash")) return std::nullopt;
        return owner_.digest;
    }
    void Abandon() override {
        if (open_) --owner_.openFollowers;
        open_ = false;
    }

private:
    FakeHasher& owner_;
    bool open_ = true;
};

}  // namespace

std::unique_ptr<GrowingFileHasher> FakeHasher::Follow(const std::wstring& path) {
    if (!follows || Trips(faults, "follow")) return nullptr;
    followed.push_back(path);
    return std::make_unique<FakeFollower>(*this);
}

}  // namespace cveltrix::test
