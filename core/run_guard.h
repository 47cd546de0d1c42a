// One run of the worker, between the main window and the temp file: the
// worker's window, file system and hasher for that run, each call passing
// the window's gate (RunDesk) for it.
//
// A worker can be stuck inside a network call that nothing interrupts (a
// server or proxy that stops sending keeps it there until the client's time
// limit). Cancel must not wait for that: the window cancels the run, and if
// the worker has not ended shortly after, gives up on it. From then on the
// run touches neither the window nor the temp file, so the next Start owns
// both while the stuck worker winds down on its own.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <set>

#include "core/file.h"
#include "core/integrity.h"
#include "core/run_desk.h"
#include "core/run_window.h"

namespace cveltrix {

// Made on the window thread; the window's desk keeps it while the run is
// the one the window follows, the worker for as long as it runs.
class RunGuard final : public RunWindow, public FileSystem, public FileHasher {
public:
    RunGuard(std::shared_ptr<RunDesk> desk, FileSystem& files, FileHasher* hasher = nullptr)
        : desk_(std::move(desk)), files_(files), hasher_(hasher) {}

    // The run's cancel request, raised by the desk; the worker reads it
    // once per chunk, and no write starts once it is up.
    const std::atomic<bool>& CancelFlag() const { return cancelRequested_; }
    void Cancel() { cancelRequested_.store(true); }
    // The run was given up: every handle on its files closes (a call under
    // way closes its file as it returns; nothing here waits for one).
    void CloseFiles();

    // RunWindow, for the worker.
    int ShowMessage(CatalogueId id, BoxKind kind) override;
    void ReportAndRelease(CatalogueId id) override;
    void SetProgressRange(std::uint64_t length) override;
    void ShowProgress(const std::wstring& text, std::uint64_t position) override;
    void ResetIdleControls() override;
    void YieldTime() override;
    std::optional<std::wstring> ChooseSaveFolder() override;
    void NoteFailure(CatalogueId id, const std::wstring& reason) override;

    // FileSystem, for the worker.
    std::unique_ptr<File> OpenAlways(const std::wstring& path) override;
    bool Delete(const std::wstring& path) override;
    std::optional<std::wstring> ReadText(const std::wstring& path) override;
    bool WriteText(const std::wstring& path, const std::wstring& text) override;
    std::uint32_t LastError() const override { return files_.LastError(); }

    // FileHasher, for the worker: a hasher following the temp file lets go
    // of it when the run is given up.
    std::optional<Sha256Digest> Sha256OfFile(const std::wstring& path) override;
    std::unique_ptr<GrowingFileHasher> Follow(const std::wstring& path) override;

private:
    class GuardedFile;
    class GuardedFollower;

    bool Admitted(RunCall call) const { return desk_->Admits(*this, call); }

    const std::shared_ptr<RunDesk> desk_;
    FileSystem& files_;
    FileHasher* hasher_;
    std::atomic<bool> cancelRequested_{false};
    // Guards the sets of open files and followers; taken before the desk's
    // lock, never while a file is read or written.
    std::mutex mutex_;
    std::set<GuardedFile*> open_;
    std::set<GuardedFollower*> followers_;
};

}  // namespace cveltrix
