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
        return Use([](File& file) { return file.Size(); }, std::optional<std::uint64_t>());
    }
    bool SeekToEnd() override {
        return Use([](File& file) { return file.SeekToEnd(); }, false);
    }
    // A write that started before Cancel finishes, none starts after it.
    std::uint64_t Write(std::span<const std::byte> data) override {
        return Use([&](File& file) { return guard_.cancelRequested_.load() ? 0 : file.Write(data); },
                   std::uint64_t{0});
    }
    bool TruncateTo(std::uint64_t size) override {
        return Use([&](File& file) { return file.TruncateTo(size); }, false);
    }
    bool MoveReplacing(const std::wstring& to) override {
        return Use([&](File& file) { return !guard_.Quiet() && file.MoveReplacing(to); }, false);
    }
    std::uint32_t LastError() const override {
        const std::lock_guard lock(mutex_);
        return file_ ? file_->LastError() : 0;
    }

private:
    template <class Call, class Result>
    Result Use(Call call, Result closed) {
        Result result = closed;
        {
            const std::lock_guard lock(mutex_);
            if (file_ && !guard_.givenUp_.load()) result = call(*file_);
        }
        if (guard_.givenUp_.load()) {
            const std::lock_guard lock(mutex_);
            file_.reset();
        }
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

// One call into the window, made only while the run is neither given up
// nor (for the messages and the picker) cancelled, and counted while it runs.
class RunGuard::WindowCall {
public:
    WindowCall(RunGuard& guard, bool prompt, bool ending = false) : guard_(guard) {
        const std::lock_guard lock(guard_.mutex_);
        allowed_ = !guard_.givenUp_.load() && !(prompt && guard_.Cancelled());
        // The end and the give-up are decided under one lock: exactly one of
        // them returns the window to idle.
        if (allowed_ && ending) guard_.ended_ = true;
        if (allowed_) ++guard_.callsUnderWay_;
    }
    ~WindowCall() {
        if (!allowed_) return;
        const std::lock_guard lock(guard_.mutex_);
        if (--guard_.callsUnderWay_ == 0) guard_.noCallsUnderWay_.notify_all();
    }
    explicit operator bool() const { return allowed_; }

private:
    RunGuard& guard_;
    bool allowed_;
};

bool RunGuard::GiveUp() {
    const std::lock_guard lock(mutex_);
    givenUp_.store(true);
    for (GuardedFile* file : open_) file->CloseUnlessInUse();
    for (GuardedFollower* follower : followers_) follower->Abandon();
    return !ended_;
}

bool RunGuard::CallsUnderWay() {
    const std::lock_guard lock(mutex_);
    return callsUnderWay_ > 0;
}

void RunGuard::WaitForCallsUnderWay() {
    std::unique_lock lock(mutex_);
    noCallsUnderWay_.wait(lock, [this] { return callsUnderWay_ == 0; });
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
    if (const WindowCall call(*this, false, true); call) window_.ResetIdleControls();
}

void RunGuard::YieldTime() {
    if (const WindowCall call(*this, false); call) window_.YieldTime();
}

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
    auto guarded = std::make_unique<GuardedFile>(*this, std::move(file));
    open_.insert(guarded.get());
    return guarded;
}

// Only ever an empty temp file or what is kept beside it, so a cancelled
// run may still tidy up.
bool RunGuard::Delete(const std::wstring& path) { return !givenUp_.load() && files_.Delete(path); }

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
    auto guarded = std::make_unique<GuardedFollower>(*this, std::move(follower));
    followers_.insert(guarded.get());
    return guarded;
}

}  // namespace cveltrix
