#include "download/run_guard.h"

namespace cveltrix {

class RunGuard::GuardedFile final : public File {
public:
    GuardedFile(RunGuard& guard, std::unique_ptr<File> file) : guard_(guard), file_(std::move(file)) {
        guard_.open_.insert(this);
    }
    ~GuardedFile() override {
        const std::lock_guard lock(guard_.mutex_);
        guard_.open_.erase(this);
    }

    // Called with the guard's mutex held.
    void Close() { file_.reset(); }

    std::optional<std::uint64_t> Size() override {
        const std::lock_guard lock(guard_.mutex_);
        return file_ ? file_->Size() : std::nullopt;
    }
    bool SeekToEnd() override {
        const std::lock_guard lock(guard_.mutex_);
        return file_ && file_->SeekToEnd();
    }
    // Checked and written under one lock: a write that started before
    // Cancel finishes, none starts after it.
    std::uint64_t Write(std::span<const std::byte> data) override {
        const std::lock_guard lock(guard_.mutex_);
        return file_ && !guard_.cancelRequested_.load() ? file_->Write(data) : 0;
    }
    bool TruncateTo(std::uint64_t size) override {
        const std::lock_guard lock(guard_.mutex_);
        return file_ && file_->TruncateTo(size);
    }
    bool MoveReplacing(const std::wstring& to) override {
        const std::lock_guard lock(guard_.mutex_);
        return file_ && !guard_.Quiet() && file_->MoveReplacing(to);
    }
    std::uint32_t LastError() const override {
        const std::lock_guard lock(guard_.mutex_);
        return file_ ? file_->LastError() : 0;
    }

private:
    RunGuard& guard_;
    std::unique_ptr<File> file_;
};

class RunGuard::GuardedFollower final : public GrowingFileHasher {
public:
    GuardedFollower(RunGuard& guard, std::unique_ptr<GrowingFileHasher> follower)
        : guard_(guard), follower_(std::move(follower)) {
        guard_.followers_.insert(this);
    }
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

// One call into the window, made only while the run is neither given up
// nor (for the messages and the picker) cancelled, and counted while it runs.
class RunGuard::WindowCall {
public:
    WindowCall(RunGuard& guard, bool prompt) : guard_(guard) {
        const std::lock_guard lock(guard_.mutex_);
        allowed_ = !guard_.givenUp_.load() && !(prompt && guard_.cancelRequested_.load());
        if (allowed_) ++guard_.callsUnderWay_;
    }
    ~WindowCall() {
        if (!allowed_) return;
        const std::lock_guard lock(guard_.mutex_);
        --guard_.callsUnderWay_;
    }
    explicit operator bool() const { return allowed_; }

private:
    RunGuard& guard_;
    bool allowed_;
};

bool RunGuard::GiveUp() {
    const std::lock_guard lock(mutex_);
    if (ended_) return false;
    givenUp_.store(true);
    for (GuardedFile* file : open_) file->Close();
    for (GuardedFollower* follower : followers_) follower->Abandon();
    return true;
}

bool RunGuard::CallsUnderWay() {
    const std::lock_guard lock(mutex_);
    return callsUnderWay_ > 0;
}

int RunGuard::ShowMessage(CatalogueId id, BoxKind kind) {
    const WindowCall call(*this, true);
    return call ? window_.ShowMessage(id, kind) : 0;
}

void RunGuard::ReportAndRelease(CatalogueId id) {
    if (const WindowCall call(*this, true); call) window_.ReportAndRelease(id);
}

void RunGuard::SetProgressRange(std::uint64_t length) {
    if (const WindowCall call(*this, false); call) window_.SetProgressRange(length);
}

void RunGuard::ShowProgress(const std::wstring& text, std::uint64_t position) {
    if (const WindowCall call(*this, false); call) window_.ShowProgress(text, position);
}

void RunGuard::ResetIdleControls() {
    {
        const std::lock_guard lock(mutex_);
        if (givenUp_.load()) return;
        ended_ = true;
    }
    if (const WindowCall call(*this, false); call) window_.ResetIdleControls();
}

void RunGuard::YieldTime() { window_.YieldTime(); }

void RunGuard::NoteFailure(CatalogueId id, const std::wstring& reason) {
    if (const WindowCall call(*this, true); call) window_.NoteFailure(id, reason);
}

std::optional<std::wstring> RunGuard::ChooseSaveFolder() {
    const WindowCall call(*this, true);
    return call ? window_.ChooseSaveFolder() : std::nullopt;
}

std::unique_ptr<File> RunGuard::OpenAlways(const std::wstring& path) {
    const std::lock_guard lock(mutex_);
    if (givenUp_.load()) return nullptr;
    auto file = files_.OpenAlways(path);
    if (!file) return nullptr;
    return std::make_unique<GuardedFile>(*this, std::move(file));
}

bool RunGuard::Delete(const std::wstring& path) { return !Quiet() && files_.Delete(path); }

std::optional<std::wstring> RunGuard::ReadText(const std::wstring& path) {
    return givenUp_.load() ? std::nullopt : files_.ReadText(path);
}

bool RunGuard::WriteText(const std::wstring& path, const std::wstring& text) {
    return !Quiet() && files_.WriteText(path, text);
}

std::optional<Sha256Digest> RunGuard::Sha256OfFile(const std::wstring& path) {
    return hasher_ && !givenUp_.load() ? hasher_->Sha256OfFile(path) : std::nullopt;
}

std::unique_ptr<GrowingFileHasher> RunGuard::Follow(const std::wstring& path) {
    const std::lock_guard lock(mutex_);
    if (!hasher_ || givenUp_.load()) return nullptr;
    auto follower = hasher_->Follow(path);
    if (!follower) return nullptr;
    return std::make_unique<GuardedFollower>(*this, std::move(follower));
}

}  // namespace cveltrix
