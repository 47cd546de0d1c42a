// One run of the worker, between the main window and the temp file.
//
// A worker can be stuck inside a network call that nothing interrupts (a
// server or proxy that stops sending keeps it there until the client's time
// limit). Cancel must not wait for that: the window cancels the run, and if
// the worker has not ended shortly after, gives up on it. From then on the
// run touches neither the window nor the temp file, so the next Start owns
// both while the stuck worker winds down on its own.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <set>

#include "core/file.h"
#include "core/integrity.h"
#include "core/run_window.h"

namespace cveltrix {

// The worker's window, file system and hasher for one run. Shared by the
// window thread (Cancel, GiveUp) and the worker thread (everything else);
// the window thread keeps it alive as long as the run is current, the
// worker for as long as it runs.
class RunGuard final : public RunWindow, public FileSystem, public FileHasher {
public:
    RunGuard(RunWindow& window, FileSystem& files, FileHasher* hasher = nullptr)
        : window_(window), files_(files), hasher_(hasher) {}

    // Window thread. After Cancel the run shows no message and the folder
    // picker does not open; nothing more is appended to the temp file.
    void Cancel() { cancelRequested_.store(true); }
    const std::atomic<bool>& CancelFlag() const { return cancelRequested_; }
    // Cancel came before message 8 was answered; past that, the save step
    // goes on as the message announced.
    bool Cancelled() const { return cancelRequested_.load() && !promised_.load(); }
    // Window thread, as message 8 is answered: the save step follows
    // whatever comes, a Cancel or the give-up timer.
    void PromiseSaveStep() { promised_.store(true); }
    bool SaveStepPromised() const { return promised_.load(); }
    // Window thread, after Cancel: from now on the run reaches neither the
    // window nor its temp file, and every handle on that file is closed (a
    // call under way closes it as it returns; nothing here waits for one).
    // True when the run had not ended, so the window returns to idle
    // itself; false when the run's own end is on its way to the window.
    bool GiveUp();
    // A call into the window is still under way (it began before the run
    // was given up); a window about to go waits for these.
    bool CallsUnderWay();
    void WaitForCallsUnderWay();

    // RunWindow, for the worker.
    int ShowMessage(CatalogueId id, BoxKind kind) override;
    void ReportAndRelease(CatalogueId id) override;
    void SetProgressRange(std::uint64_t length) override;
    void ShowProgress(const std::wstring& text, std::uint64_t position) override;
    // The run's end: reaches the window only when the run was not given up.
    void ResetIdleControls() override;
    void YieldTime() override;
    std::optional<std::wstring> ChooseSaveFolder() override;
    void NoteFailure(CatalogueId id, const std::wstring& reason) override;

    // FileSystem, for the worker: its files stop taking writes on Cancel and
    // close when the run is given up.
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
    class WindowCall;

    bool Quiet() const { return Cancelled() || givenUp_.load(); }

    RunWindow& window_;
    FileSystem& files_;
    FileHasher* hasher_;
    std::atomic<bool> cancelRequested_{false};
    std::atomic<bool> givenUp_{false};
    std::atomic<bool> promised_{false};
    // Guards the sets of open files and followers, the calls under way and
    // the choice between ending and being given up; never held while a
    // file is read or written.
    mutable std::mutex mutex_;
    std::condition_variable noCallsUnderWay_;
    bool ended_ = false;
    int callsUnderWay_ = 0;
    std::set<GuardedFile*> open_;
    std::set<GuardedFollower*> followers_;
};

}  // namespace cveltrix
