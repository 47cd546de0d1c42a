#include "app/cveltrix_dlg.h"

#include <commctrl.h>

#include "app/about_dlg.h"
#include "core/download_url.h"
#include "core/paths.h"
#include "platform/version_info_win.h"
#include "ui/dialog_texts.h"
#include "ui/proxy_dialog.h"
#include "resources/resource.h"

namespace cveltrix {
namespace {

// The window's own message and timer (the run host's start at 16): the
// keyboard focus goes back to a usable button when the focused one was
// disabled; the progress is painted once its interval is over.
constexpr UINT kRestoreFocus = WM_APP + 1;
constexpr UINT_PTR kProgressTimer = 1;
// A chunk arrives every few microseconds; four paints a second keep the
// figures readable, and each paint of the two controls costs transfer time.
constexpr ULONGLONG kPaintIntervalMs = 250;

}  // namespace

CveltrixDlg::CveltrixDlg()
    : Dialog(IDD_CVELTRIX_DIALOG),
      classIconDpi_(win::SystemDpi()),
      windowClass_(L"" MAIN_WINDOW_CLASS, win::LoadIconForDpi(IDR_MAINFRAME, SM_CXICON, classIconDpi_),
                   win::LoadIconForDpi(IDR_MAINFRAME, SM_CXSMICON, classIconDpi_)) {}

template <class Show>
auto CveltrixDlg::AsUserBox(Show show) {
    // Nothing new opens while the window goes.
    if (run_.Leaving()) return decltype(show()){};
    run_.UserBoxOpening();
    const auto answer = show();
    run_.UserBoxClosed();
    return answer;
}

bool CveltrixDlg::OnInitDialog() {
    Dialog::OnInitDialog();
    taskbarButton_.emplace(Handle());
    taskbar_.emplace(*taskbarButton_);
    AddVersionMenuItem();
    ::SetWindowTextW(Handle(), win::ReadVersionValue(L"ProductName").c_str());
    if (win::WindowDpi(Handle()) != classIconDpi_) LoadIcons();
    SetCaptions();
    description_ = DescriptionLabelParts(FileNameOf(DownloadUrl), UiLanguage());
    SetItemText(IDC_DESCRIPTION, description_.Whole());
    // The close box does nothing: Exit, with its question, is the way out.
    ::EnableMenuItem(::GetSystemMenu(Handle(), FALSE), SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
    EnableItem(IDC_CANCEL_DOWNLOAD, false);
    return true;
}

void CveltrixDlg::LoadIcons() {
    const UINT dpi = win::WindowDpi(Handle());
    win::UniqueIcon newBig = win::LoadIconForDpi(IDR_MAINFRAME, SM_CXICON, dpi);
    win::UniqueIcon newSmall = win::LoadIconForDpi(IDR_MAINFRAME, SM_CXSMICON, dpi);
    ::SendMessageW(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(newBig.get()));
    ::SendMessageW(Handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(newSmall.get()));
    // The old icons go only now that the window no longer shows them.
    bigIcon_ = std::move(newBig);
    smallIcon_ = std::move(newSmall);
}

HICON CveltrixDlg::BigIcon() const { return bigIcon_ ? bigIcon_.get() : windowClass_.BigIcon(); }

void CveltrixDlg::AddVersionMenuItem() {
    HMENU menu = ::GetSystemMenu(Handle(), FALSE);
    const std::wstring text = Text(caption::VersionMenu);
    if (!menu || text.empty()) return;
    ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(menu, MF_STRING, IDM_ABOUTBOX, text.c_str());
}

void CveltrixDlg::SetCaptions() {
    SetDialogTexts(Handle(), {{IDC_PROXY, caption::ProxyButton},
                              {IDC_START, caption::StartButton},
                              {IDC_CANCEL_DOWNLOAD, caption::CancelButton},
                              {IDC_EXIT, caption::ExitButton}});
}

bool CveltrixDlg::OnCommand(WORD controlId, WORD code) {
    static constexpr Event<CveltrixDlg> kEvents[] = {
        {BN_CLICKED, IDC_START, &CveltrixDlg::StartDownload},
        {BN_CLICKED, IDC_CANCEL_DOWNLOAD, &CveltrixDlg::CancelDownload},
        {BN_CLICKED, IDC_EXIT, &CveltrixDlg::ExitApplication},
        {BN_CLICKED, IDC_PROXY, &CveltrixDlg::ShowProxySettings},
    };
    return Dispatch<CveltrixDlg>(*this, kEvents, controlId, code);
}

std::optional<INT_PTR> CveltrixDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (run_.OnMessage(message, wParam)) return 0;
    if (message == win::TaskbarList::ButtonCreatedMessage()) {
        StartCom();
        taskbarButton_->Attach();
        taskbar_->Reapply();
        return 0;
    }
    switch (message) {
        case WM_SYSCOMMAND:
            if (OnSysCommand(wParam)) return 0;
            break;
        case WM_PAINT:
            if (PaintMinimized()) return 0;
            break;
        case WM_QUERYDRAGICON: return reinterpret_cast<INT_PTR>(BigIcon());
        case WM_DPICHANGED:
            // Under per-monitor V2 the dialog manager rescales the layout
            // and the fonts itself.
            LoadIcons();
            break;
        case WM_DRAWITEM:
            if (wParam != IDC_DESCRIPTION) break;
            DrawDescription(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            return TRUE;
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            if (header->idFrom == IDC_PROGRESS && header->code == NM_CUSTOMDRAW) return CDRF_DODEFAULT;
            break;
        }
        case kRestoreFocus: RestoreFocus(); return 0;
        case WM_ENDSESSION:
            // Windows ends the process once this returns: the run ends as
            // on Exit, and the temp file keeps what it had.
            if (wParam) run_.Leave();
            return 0;
        case WM_TIMER:
            if (wParam != kProgressTimer) break;
            PaintProgress(true);
            return 0;
    }
    return std::nullopt;
}

void CveltrixDlg::RestoreFocus() {
    HWND focus = ::GetFocus();
    if (focus && ::IsWindowEnabled(focus)) return;
    HWND target = ::IsWindowEnabled(Item(IDC_START)) ? Item(IDC_START) : Item(IDC_EXIT);
    ::SendMessageW(Handle(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(target), TRUE);
}

// One line when it fits; otherwise the break goes between the file name and
// the rest, and only a part wider than the label wraps inside itself.
void CveltrixDlg::DrawDescription(const DRAWITEMSTRUCT& item) {
    HDC dc = item.hDC;
    RECT rect = item.rcItem;
    // The dialog's own static colours and background, as for a plain label.
    const auto brush = reinterpret_cast<HBRUSH>(
        ::SendMessageW(Handle(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(item.hwndItem)));
    ::FillRect(dc, &rect, brush ? brush : ::GetSysColorBrush(COLOR_BTNFACE));
    ::SetBkMode(dc, TRANSPARENT);
    const HGDIOBJ oldFont = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(item.hwndItem, WM_GETFONT, 0, 0)));
    constexpr UINT kFormat = DT_LEFT | DT_NOPREFIX | DT_WORDBREAK | DT_EDITCONTROL;
    const std::wstring whole = description_.Whole();
    SIZE extent{};
    ::GetTextExtentPoint32W(dc, whole.c_str(), static_cast<int>(whole.size()), &extent);
    if (extent.cx <= rect.right - rect.left) {
        ::DrawTextW(dc, whole.c_str(), -1, &rect, kFormat);
    } else {
        for (const std::wstring* part : {&description_.first, &description_.second}) {
            rect.top += ::DrawTextW(dc, part->c_str(), -1, &rect, kFormat);
        }
    }
    ::SelectObject(dc, oldFont);
}

bool CveltrixDlg::OnSysCommand(WPARAM command) {
    if ((command & 0xFFF0) != IDM_ABOUTBOX) return false;
    AsUserBox([&] { return CAboutDlg().DoModal(Handle()); });
    return true;
}

bool CveltrixDlg::PaintMinimized() {
    if (!::IsIconic(Handle())) return false;
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(Handle(), &paint);
    ::SendMessageW(Handle(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    ::GetClientRect(Handle(), &client);
    const int x = (client.right - client.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    ::DrawIcon(dc, x, y, BigIcon());
    ::EndPaint(Handle(), &paint);
    return true;
}

void CveltrixDlg::StartDownload() {
    SetBusy();
    if (!run_.Start(ownBoxes_)) EnableIdleButtons();
}

void CveltrixDlg::CancelDownload() {
    run_.Cancel();
    EnableItem(IDC_CANCEL_DOWNLOAD, false);
    ::PostMessageW(Handle(), kRestoreFocus, 0, 0);
}

void CveltrixDlg::StartCom() {
    if (!com_) com_.emplace();
}

void CveltrixDlg::ShowRunEnded() {
    PaintProgress(true);
    taskbar_->Idle();
    EnableIdleButtons();
    ::RedrawWindow(Item(IDC_PROGRESS), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

void CveltrixDlg::ExitApplication() {
    if (run_.Leaving()) return;
    run_.UserBoxOpening();
    // Dismissed by a close meanwhile, the box's answer is no Yes.
    const bool exiting = ShowCatalogueMessage(Handle(), msg::ConfirmExit, BoxKind::YesNo) == IDYES && !run_.Leaving();
    // What the run asked for meanwhile (message 8, say) is dropped, not
    // served, when the user leaves.
    if (exiting) run_.Leave();
    run_.UserBoxClosed();
    if (exiting) ::PostMessageW(Handle(), WM_CLOSE, 0, 0);
}

void CveltrixDlg::Close(INT_PTR result) {
    run_.Leave();
    EndDialog(result);
}

void CveltrixDlg::ShowProxySettings() {
    AsUserBox([&] { return ProxySeting(ProcessProxyConfig()).DoModal(Handle()); });
}

void CveltrixDlg::SetBusy() {
    EnableItem(IDC_START, false);
    EnableItem(IDC_PROXY, false);
    EnableItem(IDC_CANCEL_DOWNLOAD, true);
    ::SendMessageW(Handle(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(IDC_CANCEL_DOWNLOAD)), TRUE);
}

// Start and Proxy on, Cancel off, and the focus back on a usable button: the
// idle state, also after a refused start.
void CveltrixDlg::EnableIdleButtons() {
    EnableItem(IDC_START, true);
    EnableItem(IDC_PROXY, true);
    EnableItem(IDC_CANCEL_DOWNLOAD, false);
    ::PostMessageW(Handle(), kRestoreFocus, 0, 0);
}

void CveltrixDlg::PromptOpening(Prompt prompt) { taskbar_->PromptOpening(prompt); }

void CveltrixDlg::PromptClosed(Prompt prompt) { taskbar_->PromptClosed(prompt); }

int CveltrixDlg::OwnBoxes::ShowMessage(CatalogueId id, BoxKind kind) {
    return window_.AsUserBox([&] { return ShowCatalogueMessage(window_.Handle(), id, kind); });
}

void CveltrixDlg::OwnBoxes::NoteFailure(CatalogueId id, const std::wstring& reason) {
    window_.run_.NoteFailure(id, reason);
}

void CveltrixDlg::ApplyProgressRange(std::uint64_t length) {
    barScale_ = BarScale(length);
    const int maximum = barScale_.Maximum();
    ::SendMessageW(Item(IDC_PROGRESS), PBM_SETRANGE32, 0, maximum);
    // The control keeps (and clamps) its position until the run moves it.
    shownBar_ = static_cast<int>(::SendMessageW(Item(IDC_PROGRESS), PBM_GETPOS, 0, 0));
    taskbar_->TransferStarted(static_cast<std::uint64_t>(shownBar_), static_cast<std::uint64_t>(maximum));
}

// Repainting both controls for every chunk, across threads, would cost more
// than the transfer itself; the window thread paints the newest values at
// most every kPaintIntervalMs. Every message box and the end of a run paint
// them first, so what the user reads there is exact.
void CveltrixDlg::PaintProgress(bool now) {
    const ULONGLONG tick = ::GetTickCount64();
    if (!now && tick - lastPaint_ < kPaintIntervalMs) {
        ::SetTimer(Handle(), kProgressTimer, static_cast<UINT>(kPaintIntervalMs - (tick - lastPaint_)), nullptr);
        return;
    }
    ::KillTimer(Handle(), kProgressTimer);
    auto [text, position] = run_.NewestProgress();
    const int bar = barScale_.Position(position);
    lastPaint_ = tick;
    if (text != shownText_) {
        SetItemText(IDC_PROGRESS_TEXT, text);
        ::UpdateWindow(Item(IDC_PROGRESS_TEXT));
        shownText_ = std::move(text);
    }
    if (bar != shownBar_) {
        ::SendMessageW(Item(IDC_PROGRESS), PBM_SETPOS, bar, 0);
        ::UpdateWindow(Item(IDC_PROGRESS));
        shownBar_ = bar;
        taskbar_->Progress(static_cast<std::uint64_t>(bar));
    }
}

}  // namespace cveltrix
