#include "core/run_guard.h"

namespace cveltrix {

// Calls go to the file under a lock of its own, which only they take: the
// window's give-up never waits behind a write, however slow. A give-up that
// finds a call under way leaves the closing to that call, as it returns.
class RunGuard::GuardedFile final : public File {
public:
    // Registered by the guard, under its lock.
    GuardedFile(RunGuard& guard, std::unique_ptr<File> file) : guard_(guard), file_(std::move(file)) {}
    ~GuardedFile() override {
        const std::lock_guard lock(guard_.mutex_);
        guard_.open_.erase(this);
    }

    // Window thread, at give-up.
    void CloseUnlessInUse() {
        const std::unique_lock lock(mutex_, std::try_to_lock);
        if (lock) file_.reset();
    }

    std::optional<std::uint64_t> Size() override {
        return Use(RunCall::File, [](File& file) { return file.Size(); }, std::optional<std::uint64_t>());
    }
    bool SeekToEnd() override {
        return Use(RunCall::File, [](File& file) { return file.SeekToEnd(); }, false);
    }
    // A write that started before Cancel finishes, none starts after it.
    std::uint64_t Write(std::span<const std::byte> data) override {
        return Use(RunCall::File, [&](File& file) { return guard_.cancelRequested_.load() ? 0 : file.Write(data); },
                   std::uint64_t{0});
    }
    bool TruncateTo(std::uint64_t size) override {
        return Use(RunCall::File, [&](File& file) { return file.TruncateTo(size); }, false);
    }
    // The move is the save step's, which a Cancel before message 8 silences.
    bool MoveReplacing(const std::wstring& to) override {
        return Use(RunCall::Prompt, [&](File& file) { return file.MoveReplacing(to); }, false);
    }
    std::uint32_t LastError() const override {
        const std::lock_guard lock(mutex_);
        return file_ ? file_->LastError() : 0;
    }

private:
    template <class Call, class Result>
    Result Use(RunCall kind, Call call, Result closed) {
        const std::lock_guard lock(mutex_);
        if (!file_) return closed;
        if (!guard_.Admitted(kind)) {
            // Given up while this call waited, or a move after Cancel.
            if (!guard_.Admitted(RunCall::File)) file_.reset();
            return closed;
        }
        Result result = call(*file_);
        if (!guard_.Admitted(RunCall::File)) file_.reset();
        return result;
    }

    RunGuard& guard_;
    mutable std::mutex mutex_;
    std::unique_ptr<File> file_;
};

class RunGuard::GuardedFollower final : public GrowingFileHasher {
public:
    // Registered by the guard, under its lock.
    GuardedFollower(RunGuard& guard, std::unique_ptr<GrowingFileHasher> follower)
        : guard_(guard), follower_(std::move(follower)) {}
    ~GuardedFollower() override {
        {
            const std::lock_guard lock(guard_.mutex_);
            guard_.followers_.erase(this);
        }
        follower_.reset();
    }

    void Grown(std::uint64_t size) override { follower_->Grown(size); }
    std::optional<Sha256Digest> Finish(std::uint64_t size) override { return follower_->Finish(size); }
    void Abandon() override { follower_->Abandon(); }

private:
    RunGuard& guard_;
    std::unique_ptr<GrowingFileHasher> follower_;
};

void RunGuard::CloseFiles() {
    const std::lock_guard lock(mutex_);
    for (GuardedFile* file : open_) file->CloseUnlessInUse();
    for (GuardedFollower* follower : followers_) follower->Abandon();
}

// ---- RunWindow: each call once, through the desk's gate.

// A dropped ask has no answer, whatever the dismissed box returned.
int RunGuard::ShowMessage(CatalogueId id, BoxKind kind) {
    int answer = 0;
    const bool asked = desk_->Ask(
        *this,
        [&](RunWindow& window) {
            answer = window.ShowMessage(id, kind);
            return answer != 0;
        },
        id == msg::DownloadComplete ? AskEffect::PromisesSave : AskEffect::None);
    return asked ? answer : 0;
}

void RunGuard::ReportAndRelease(CatalogueId id) {
    desk_->Ask(
        *this,
        [&](RunWindow& window) {
            window.ReportAndRelease(id);
            return true;
        },
        AskEffect::Releases);
}

std::optional<std::wstring> RunGuard::ChooseSaveFolder() {
    std::optional<std::wstring> folder;
    const bool asked = desk_->Ask(*this, [&](RunWindow& window) {
        folder = window.ChooseSaveFolder();
        return true;
    });
    return asked ? folder : std::nullopt;
}

void RunGuard::SetProgressRange(std::uint64_t length) { desk_->TellRange(*this, length); }

void RunGuard::ShowProgress(const std::wstring& text, std::uint64_t position) {
    desk_->TellProgress(*this, text, position);
}

void RunGuard::ResetIdleControls() { desk_->TellEnded(*this); }

void RunGuard::YieldTime() {
    desk_->Pass(*this, RunCall::Tell, [](RunWindow& window) { window.YieldTime(); });
}

void RunGuard::NoteFailure(CatalogueId id, const std::wstring& reason) {
    desk_->Pass(*this, RunCall::Prompt, [&](RunWindow& window) { window.NoteFailure(id, reason); });
}

// ---- FileSystem and FileHasher: they stop at the give-up.

std::unique_ptr<File> RunGuard::OpenAlways(const std::wstring& path) {
    const std::lock_guard lock(mutex_);
    if (!Admitted(RunCall::File)) return nullptr;
    auto file = files_.OpenAlways(path);
    if (!file) return nullptr;
    auto guarded = std::make_unique<GuardedFile>(*this, std::move(file));
    open_.insert(guarded.get());
    return guarded;
}

// Only ever an empty temp file or what is kept beside it, so a cancelled
// run may still tidy up.
bool RunGuard::Delete(const std::wstring& path) { return Admitted(RunCall::File) && files_.Delete(path); }

std::optional<std::wstring> RunGuard::ReadText(const std::wstring& path) {
    return Admitted(RunCall::File) ? files_.ReadText(path) : std::nullopt;
}

bool RunGuard::WriteText(const std::wstring& path, const std::wstring& text) {
    return Admitted(RunCall::Prompt) && files_.WriteText(path, text);
}

std::optional<Sha256Digest> RunGuard::Sha256OfFile(const std::wstring& path) {
    return hasher_ && Admitted(RunCall::File) ? hasher_->Sha256OfFile(path) : std::nullopt;
}

std::unique_ptr<GrowingFileHasher> RunGuard::Follow(const std::wstring& path) {
    const std::lock_guard lock(mutex_);
    if (!hasher_ || !Admitted(RunCall::File)) return nullptr;
    auto follower = hasher_->Follow(path);
    if (!follower) return nullptr;
    auto guarded = std::make_unique<GuardedFollower>(*this, std::move(follower));
    followers_.insert(guarded.get());
    return guarded;
}

}  // namespace cveltrix
