#include "app/cveltrix_dlg.h"

#include <commctrl.h>

#include "app/about_dlg.h"
#include "download/download_url.h"
#include "download/paths.h"
#include "download/run_guard.h"
#include "download/worker.h"
#include "platform/files_win.h"
#include "platform/folder_picker_win.h"
#include "platform/http_wininet.h"
#include "platform/module_win.h"
#include "platform/version_info_win.h"
#include "proxy/dialog_texts.h"
#include "proxy/proxy_dialog.h"
#include "resources/resource.h"

namespace cveltrix {
namespace {

// Posted from any thread; the window thread then gives the keyboard focus
// back to a usable button when the focused one was disabled.
constexpr UINT kRestoreFocus = WM_APP + 1;
// From the worker: paint the newest progress (wParam 1: at once), or set
// the bar's range (wParam: the maximum).
constexpr UINT kPaintProgress = WM_APP + 2;
constexpr UINT kSetProgressRange = WM_APP + 3;
// lParam: a std::function<void()> to run on the window thread.
constexpr UINT kRunOnWindowThread = WM_APP + 4;
constexpr UINT_PTR kProgressTimer = 1;
constexpr UINT_PTR kGiveUpTimer = 2;
// A chunk arrives every few microseconds; four paints a second keep the
// figures readable, and each paint of the two controls costs transfer time.
constexpr ULONGLONG kPaintIntervalMs = 250;
constexpr DWORD kCancelGraceMs = 200;
// A worker between chunks ends well within this after Cancel; one that has
// not is stuck in a network call and is given up on, so Cancel always takes
// effect within a second.
constexpr UINT kGiveUpAfterMs = 300;

struct WorkerStart {
    CveltrixDlg* window;
    std::shared_ptr<RunGuard> run;
};

std::wstring TempPath() { return BuildTempPath(win::ExecutablePath(), DownloadUrl); }

}  // namespace

CveltrixDlg::CveltrixDlg() : Dialog(IDD_CVELTRIX_DIALOG) {}

bool CveltrixDlg::OnInitDialog() {
    Dialog::OnInitDialog();
    taskbarButton_.emplace(Handle());
    taskbar_.emplace(*taskbarButton_);
    AddVersionMenuItem();
    ::SetWindowTextW(Handle(), win::ReadVersionValue(L"ProductName").c_str());
    LoadIcons();
    SetCaptions();
    description_ = DescriptionLabelParts(Text(caption::DescriptionPiece), FileNameOf(DownloadUrl), JapaneseLocale());
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
    if (message == win::TaskbarList::ButtonCreatedMessage()) {
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
        case WM_QUERYDRAGICON: return reinterpret_cast<INT_PTR>(bigIcon_.get());
        case WM_DPICHANGED:
            // Under per-monitor V2 the dialog manager rescales the layout
            // and the fonts itself.
            LoadIcons();
            break;
        case kRunOnWindowThread: (*reinterpret_cast<const std::function<void()>*>(lParam))(); return 0;
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
        case kPaintProgress: PaintProgress(wParam != 0); return 0;
        case kSetProgressRange: ApplyProgressRange(static_cast<int>(wParam)); return 0;
        case WM_TIMER:
            if (wParam == kProgressTimer) {
                PaintProgress(true);
            } else if (wParam == kGiveUpTimer) {
                GiveUpStuckWorker();
            } else {
                break;
            }
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
    CAboutDlg().DoModal(Handle());
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
    ::DrawIcon(dc, x, y, bigIcon_.get());
    ::EndPaint(Handle(), &paint);
    return true;
}

void CveltrixDlg::StartDownload() {
    SetBusy();
    if (!PrepareStart(*this, files_, TempPath())) {
        EnableIdleButtons();
        return;
    }
    if (!workerThread.load()) LaunchWorker();
}

void CveltrixDlg::LaunchWorker() {
    // A give-up pending from the last Cancel is not for this run.
    ::KillTimer(Handle(), kGiveUpTimer);
    run_ = std::make_shared<RunGuard>(*this, files_, &hasher_);
    auto start = std::make_unique<WorkerStart>(WorkerStart{this, run_});
    auto thread = win::WorkerThread::CreateSuspended(&CveltrixDlg::RunWorker, start.get());
    if (!thread) {
        EnableIdleButtons();
        return;
    }
    start.release();  // the worker owns it now
    // Recorded before it runs, so its own clearing at the end comes after.
    workerStorage_ = std::move(thread);
    workerThread.store(workerStorage_.get());
    workerStorage_->Resume();
}

unsigned __stdcall CveltrixDlg::RunWorker(void* argument) {
    const std::unique_ptr<WorkerStart> start(static_cast<WorkerStart*>(argument));
    RunGuard& run = *start->run;
    win::WinInetClient http(SilenceLimitSeconds);
    WorkerEnvironment env{run,     http, run, run.CancelFlag(), DownloadUrl, TempPath(), start->window->chosenFolder_,
                          ProcessProxyConfig(), &run, ParseSha256(DownloadSha256)};
    return static_cast<unsigned>(DownloadWorker(env));
}

void CveltrixDlg::CancelDownload() {
    if (run_) run_->Cancel();
    ::Sleep(kCancelGraceMs);
    EnableItem(IDC_CANCEL_DOWNLOAD, false);
    ::PostMessageW(Handle(), kRestoreFocus, 0, 0);
    ::SetTimer(Handle(), kGiveUpTimer, kGiveUpAfterMs, nullptr);
}

// The worker is left to end on its own; the temp file keeps what it had
// received, and the window is idle for the next Start.
void CveltrixDlg::GiveUpStuckWorker() {
    // A box the worker raised just before the Cancel is answered first.
    if (prompting_) return;
    ::KillTimer(Handle(), kGiveUpTimer);
    if (run_ && run_->GiveUp()) ResetIdleControls();
}

// The window is gone: a worker still running never reaches this object
// again, and a call into it that began before is let finish first.
CveltrixDlg::~CveltrixDlg() {
    if (!run_) return;
    run_->Cancel();
    run_->GiveUp();
    while (run_->CallsUnderWay()) {
        // Answers the messages such a call may still be sending to this thread.
        MSG message;
        ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
        ::Sleep(1);
    }
}

void CveltrixDlg::ExitApplication() {
    if (ShowMessage(msg::ConfirmExit, BoxKind::YesNo) != IDYES) return;
    if (run_) run_->Cancel();
    // The worker finishes the chunk in hand before the process ends with it.
    ::Sleep(kCancelGraceMs);
    ::PostMessageW(Handle(), WM_CLOSE, 0, 0);
}

void CveltrixDlg::ShowProxySettings() { ProxySeting(ProcessProxyConfig()).DoModal(Handle()); }

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

void CveltrixDlg::OnWindowThread(const std::function<void()>& action) {
    ::SendMessageW(Handle(), kRunOnWindowThread, 0, reinterpret_cast<LPARAM>(&action));
}

// The taskbar button hears of every message box and the folder picker.
// Every box and the picker open on the window thread, whoever asks; the
// worker waits for the answer.
template <class Show>
auto CveltrixDlg::Prompting(Prompt prompt, Show show) {
    decltype(show()) answer{};
    OnWindowThread([&] {
        prompting_ = true;
        taskbar_->PromptOpening(prompt);
        answer = show();
        taskbar_->PromptClosed(prompt);
        prompting_ = false;
    });
    return answer;
}

int CveltrixDlg::ShowMessage(CatalogueId id, BoxKind kind) {
    FlushProgress();
    return Prompting(kind, [&] { return ShowCatalogueMessage(Handle(), id, kind); });
}

void CveltrixDlg::ReportAndRelease(CatalogueId id) {
    ShowMessage(id, BoxKindOf(id));
    EnableIdleButtons();
}

void CveltrixDlg::SetProgressRange(std::uint64_t length) {
    barScale_ = BarScale(length);
    ::SendMessageW(Handle(), kSetProgressRange, static_cast<WPARAM>(barScale_.Maximum()), 0);
}

void CveltrixDlg::ApplyProgressRange(int maximum) {
    ::SendMessageW(Item(IDC_PROGRESS), PBM_SETRANGE32, 0, maximum);
    // The control keeps (and clamps) its position until the run moves it.
    shownBar_ = static_cast<int>(::SendMessageW(Item(IDC_PROGRESS), PBM_GETPOS, 0, 0));
    taskbar_->TransferStarted(static_cast<std::uint64_t>(shownBar_), static_cast<std::uint64_t>(maximum));
}

// Repainting both controls for every chunk, across threads, would cost more
// than the transfer itself; the worker only leaves the newest values and
// the window thread paints them at most every kPaintIntervalMs. Every
// message box and the end of a run flush them first, so what the user
// reads there is exact.
void CveltrixDlg::ShowProgress(const std::wstring& text, std::uint64_t position) {
    {
        const std::lock_guard lock(progressMutex_);
        pendingText_ = text;
        pendingBar_ = barScale_.Position(position);
    }
    if (!progressPosted_.exchange(true)) ::PostMessageW(Handle(), kPaintProgress, 0, 0);
}

void CveltrixDlg::FlushProgress() { ::SendMessageW(Handle(), kPaintProgress, 1, 0); }

void CveltrixDlg::PaintProgress(bool now) {
    const ULONGLONG tick = ::GetTickCount64();
    if (!now && tick - lastPaint_ < kPaintIntervalMs) {
        ::SetTimer(Handle(), kProgressTimer, static_cast<UINT>(kPaintIntervalMs - (tick - lastPaint_)), nullptr);
        return;
    }
    ::KillTimer(Handle(), kProgressTimer);
    progressPosted_.store(false);
    std::wstring text;
    int bar = 0;
    {
        const std::lock_guard lock(progressMutex_);
        text = pendingText_;
        bar = pendingBar_;
    }
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

void CveltrixDlg::ResetIdleControls() {
    FlushProgress();
    OnWindowThread([this] { taskbar_->Idle(); });
    EnableIdleButtons();
    workerThread.store(nullptr);
    ::RedrawWindow(Item(IDC_PROGRESS), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

void CveltrixDlg::YieldTime() { ::Sleep(0); }

void CveltrixDlg::NoteFailure(CatalogueId id, const std::wstring& reason) {
    win::WriteDebugLine(L"message " + std::to_wstring(id) + L": " + reason);
}

std::optional<std::wstring> CveltrixDlg::ChooseSaveFolder() {
    return Prompting(std::nullopt,
                     [&] { return win::ChooseFolder(Handle(), std::wstring(FolderPickerTitle(JapaneseLocale()))); });
}

}  // namespace cveltrix
