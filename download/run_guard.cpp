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
    bool Truncate() override {
        const std::lock_guard lock(guard_.mutex_);
        return file_ && file_->Truncate();
    }

private:
    RunGuard& guard_;
    std::unique_ptr<File> file_;
};

bool RunGuard::GiveUp() {
    const std::lock_guard lock(mutex_);
    if (ended_) return false;
    givenUp_.store(true);
    for (GuardedFile* file : open_) file->Close();
    return true;
}

int RunGuard::ShowMessage(CatalogueId id, BoxKind kind) { return Quiet() ? 0 : window_.ShowMessage(id, kind); }

void RunGuard::ReportAndRelease(CatalogueId id) {
    if (!Quiet()) window_.ReportAndRelease(id);
}

void RunGuard::SetProgressRange(std::uint64_t length) {
    if (!givenUp_.load()) window_.SetProgressRange(length);
}

void RunGuard::ShowProgress(const std::wstring& text, std::uint64_t position) {
    if (!givenUp_.load()) window_.ShowProgress(text, position);
}

void RunGuard::ResetIdleControls() {
    {
        const std::lock_guard lock(mutex_);
        if (givenUp_.load()) return;
        ended_ = true;
    }
    window_.ResetIdleControls();
}

void RunGuard::YieldTime() { window_.YieldTime(); }

std::optional<std::wstring> RunGuard::ChooseSaveFolder() {
    return Quiet() ? std::nullopt : window_.ChooseSaveFolder();
}

std::unique_ptr<File> RunGuard::OpenAlways(const std::wstring& path) {
    const std::lock_guard lock(mutex_);
    if (givenUp_.load()) return nullptr;
    auto file = files_.OpenAlways(path);
    if (!file) return nullptr;
    return std::make_unique<GuardedFile>(*this, std::move(file));
}

bool RunGuard::Delete(const std::wstring& path) { return !Quiet() && files_.Delete(path); }

bool RunGuard::MoveReplacing(const std::wstring& from, const std::wstring& to) {
    return !Quiet() && files_.MoveReplacing(from, to);
}

}  // namespace cveltrix
