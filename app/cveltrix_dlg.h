// The main window: Start, Cancel, Exit and Proxy, the progress bar and text.
// The window thread owns every member here. The download worker, on its own
// thread, tells the window what happens (posted, never waiting) and asks it
// for a box or the picker through the run desk, getting the answer back as
// a value.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "core/paths.h"
#include "core/progress.h"
#include "core/run_desk.h"
#include "core/run_guard.h"
#include "core/run_window.h"
#include "core/taskbar_progress.h"
#include "platform/dialog_win.h"
#include "platform/dpi_win.h"
#include "platform/files_win.h"
#include "platform/folder_picker_win.h"
#include "platform/sha256_bcrypt.h"
#include "platform/taskbar_win.h"
#include "platform/thread_win.h"

namespace cveltrix {

class CveltrixDlg final : public win::Dialog, public RunWindow {
public:
    CveltrixDlg();
    ~CveltrixDlg() override;

    // RunWindow, called from the worker thread: the boxes and the picker
    // are asked for, everything else is told.
    int ShowMessage(CatalogueId id, BoxKind kind) override;
    void ReportAndRelease(CatalogueId id) override;
    void SetProgressRange(std::uint64_t length) override;
    void ShowProgress(const std::wstring& text, std::uint64_t position) override;
    void ResetIdleControls() override;
    void YieldTime() override;
    std::optional<std::wstring> ChooseSaveFolder() override;
    void NoteFailure(CatalogueId id, const std::wstring& reason) override;

private:
    // The window's own boxes (the Start checks, the Exit question), shown
    // at once on the window thread.
    class OwnBoxes final : public MessageBoxes {
    public:
        explicit OwnBoxes(CveltrixDlg& window) : window_(window) {}
        int ShowMessage(CatalogueId id, BoxKind kind) override;
        void NoteFailure(CatalogueId id, const std::wstring& reason) override;

    private:
        CveltrixDlg& window_;
    };

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
    void EndRun();
    // COM for the taskbar button and the folder picker, started when one of
    // them first needs it: the window needs none of it to show, and starting
    // it holds the first idle moment back by a few milliseconds (Wine).
    void StartCom();
    // A modal window of the window's own: what the run asks for meanwhile
    // waits until it is closed.
    template <class Show>
    auto AsUserBox(Show show);

    bool OnSysCommand(WPARAM command);
    bool PaintMinimized();
    void DrawDescription(const DRAWITEMSTRUCT& item);
    void RestoreFocus();
    void ApplyProgressRange();
    void PaintProgress(bool now);
    void LoadIcons();
    HICON BigIcon() const;
    // The run's box or picker, on the window thread: shown unless the run
    // was cancelled first.
    template <class Show>
    auto RunPrompt(Prompt prompt, Show show);
    // A catalogue message the run asked for; 0 when it was not shown.
    int RunBox(CatalogueId id, BoxKind kind);

    std::optional<win::ComApartment> com_;
    // The class's icons are drawn for the system's DPI; the window gets
    // icons of its own when it shows at another.
    const UINT classIconDpi_;
    win::DialogClass windowClass_;
    win::UniqueIcon bigIcon_;
    win::UniqueIcon smallIcon_;
    // Window thread only, from initialisation on.
    std::optional<win::TaskbarList> taskbarButton_;
    std::optional<TaskbarProgress> taskbar_;
    DescriptionParts description_;
    OwnBoxes ownBoxes_{*this};
    // The record of the run: busy until the run's end reaches the window.
    RunDesk desk_;
    std::unique_ptr<win::WorkerThread> workerThread;
    // The current run (the worker holds its own share).
    std::shared_ptr<RunGuard> run_;
    bool prompting_ = false;
    // Message 8 of the current run was answered: no give-up any more.
    bool saveStepPromised_ = false;
    win::WinFileSystem files_;
    win::BCryptFileHasher hasher_;
    // The newest progress, left by the worker for the window thread, which
    // paints it a few times a second.
    std::mutex progressMutex_;
    std::wstring pendingText_;
    std::uint64_t pendingPosition_ = 0;
    std::uint64_t pendingLength_ = 0;
    std::atomic<bool> progressPosted_{false};
    // What the controls show now.
    BarScale barScale_;
    std::wstring shownText_;
    int shownBar_ = 0;
    ULONGLONG lastPaint_ = 0;
};

}  // namespace cveltrix
