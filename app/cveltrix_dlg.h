// The main window: Start, Cancel, Exit and Proxy, the progress bar and text.
// The window thread owns every member here; the run's side of the window,
// where the download worker tells and asks, is the run host.
#pragma once

#include <optional>
#include <string>

#include "app/run_host.h"
#include "core/paths.h"
#include "core/progress.h"
#include "core/run_window.h"
#include "core/taskbar_progress.h"
#include "platform/dialog_win.h"
#include "platform/dpi_win.h"
#include "platform/folder_picker_win.h"
#include "platform/taskbar_win.h"

namespace cveltrix {

class CveltrixDlg final : public win::Dialog, private RunHost::Screen {
public:
    CveltrixDlg();

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
    // Esc, Enter and a close request (Exit's among them) end the window; a
    // run still going is ended first, as Exit ends it.
    void OnOK() override { Close(IDOK); }
    void OnCancel() override { Close(IDCANCEL); }
    void Close(INT_PTR result);

    // RunHost::Screen.
    HWND Window() const override { return Handle(); }
    void ApplyProgressRange(std::uint64_t length) override;
    void PaintProgress(bool now) override;
    void PromptOpening(Prompt prompt) override;
    void PromptClosed(Prompt prompt) override;
    // COM for the taskbar button and the folder picker, started when one of
    // them first needs it: the window needs none of it to show, and starting
    // it holds the first idle moment back by a few milliseconds (Wine).
    void StartCom() override;
    void EnableIdleButtons() override;
    void ShowRunEnded() override;
    void StartQueued() override { StartDownload(); }

    void StartDownload();
    void CancelDownload();
    void ExitApplication();
    void ShowProxySettings();

    void AddVersionMenuItem();
    void SetCaptions();
    void SetBusy();
    // A modal window of the window's own: what the run asks for meanwhile
    // waits until it is closed.
    template <class Show>
    auto AsUserBox(Show show);

    bool OnSysCommand(WPARAM command);
    bool PaintMinimized();
    void DrawDescription(const DRAWITEMSTRUCT& item);
    void RestoreFocus();
    void LoadIcons();
    HICON BigIcon() const;

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
    // What the controls show now.
    BarScale barScale_;
    std::wstring shownText_;
    int shownBar_ = 0;
    ULONGLONG lastPaint_ = 0;
    // After every member a run reaches, so it goes first: from then on no
    // call of a run reaches the window.
    RunHost run_{*this};
};

}  // namespace cveltrix
