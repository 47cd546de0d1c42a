// The main window: Start, Cancel, Exit and Proxy, the progress bar and text.
// The download worker drives it from its own thread through RunWindow.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "download/paths.h"
#include "download/progress.h"
#include "download/run_guard.h"
#include "download/run_window.h"
#include "download/taskbar_progress.h"
#include "platform/dialog_win.h"
#include "platform/dpi_win.h"
#include "platform/files_win.h"
#include "platform/sha256_bcrypt.h"
#include "platform/taskbar_win.h"
#include "platform/thread_win.h"

namespace cveltrix {

class CveltrixDlg final : public win::Dialog, public RunWindow {
public:
    CveltrixDlg();
    ~CveltrixDlg() override;

    // RunWindow, called from the worker thread.
    int ShowMessage(CatalogueId id, BoxKind kind) override;
    void ReportAndRelease(CatalogueId id) override;
    void SetProgressRange(std::uint64_t length) override;
    void ShowProgress(const std::wstring& text, std::uint64_t position) override;
    void ResetIdleControls() override;
    void YieldTime() override;
    std::optional<std::wstring> ChooseSaveFolder() override;
    void NoteFailure(CatalogueId id, const std::wstring& reason) override;

private:
    bool OnInitDialog() override;
    bool OnCommand(WORD controlId, WORD code) override;
    std::optional<INT_PTR> OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    void StartDownload();
    void CancelDownload();
    void ExitApplication();
    void ShowProxySettings();

    void AddVersionMenuItem();
    void SetCaptions();
    void SetBusy();
    void EnableIdleButtons();
    void LaunchWorker();
    static unsigned __stdcall RunWorker(void* argument);
    void GiveUpStuckWorker();

    bool OnSysCommand(WPARAM command);
    bool PaintMinimized();
    void DrawDescription(const DRAWITEMSTRUCT& item);
    void RestoreFocus();
    void ApplyProgressRange(int maximum);
    void PaintProgress(bool now);
    void FlushProgress();
    void LoadIcons();
    // Runs `action` on the window thread, where the taskbar's COM object
    // lives, and waits for it.
    void OnWindowThread(const std::function<void()>& action);
    template <class Show>
    auto Prompting(Prompt prompt, Show show);

    // Drawn for the window's DPI, made anew when it changes.
    win::UniqueIcon bigIcon_;
    win::UniqueIcon smallIcon_;
    // Window thread only, from initialisation on.
    std::optional<win::TaskbarList> taskbarButton_;
    std::optional<TaskbarProgress> taskbar_;
    DescriptionParts description_;
    std::atomic<win::WorkerThread*> workerThread{nullptr};
    std::unique_ptr<win::WorkerThread> workerStorage_;
    // Window thread only: the current run (the worker holds its own share).
    std::shared_ptr<RunGuard> run_;
    bool prompting_ = false;
    win::WinFileSystem files_;
    win::BCryptFileHasher hasher_;
    // Worker thread only: the last folder picked and the bar's scale.
    std::wstring chosenFolder_;
    BarScale barScale_;
    // The newest progress, handed from the worker to the window thread,
    // which paints it a few times a second.
    std::mutex progressMutex_;
    std::wstring pendingText_;
    int pendingBar_ = 0;
    std::atomic<bool> progressPosted_{false};
    // Window thread only: what the controls show now.
    std::wstring shownText_;
    int shownBar_ = 0;
    ULONGLONG lastPaint_ = 0;
};

}  // namespace cveltrix
