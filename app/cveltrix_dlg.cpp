#include "app/cveltrix_dlg.h"

#include <commctrl.h>

#include "app/about_dlg.h"
#include "core/download_url.h"
#include "core/paths.h"
#include "core/run_guard.h"
#include "core/run_start.h"
#include "core/run_worker.h"
#include "platform/files_win.h"
#include "platform/http_wininet.h"
#include "platform/module_win.h"
#include "platform/signature_win.h"
#include "platform/version_info_win.h"
#include "ui/dialog_texts.h"
#include "ui/proxy_dialog.h"
#include "resources/resource.h"

namespace cveltrix {
namespace {

// Posted from any thread; the window thread then gives the keyboard focus
// back to a usable button when the focused one was disabled.
constexpr UINT kRestoreFocus = WM_APP + 1;
// Told by the worker: paint the newest progress, set the bar's range, the
// run has ended; an ask waits on the run desk.
constexpr UINT kPaintProgress = WM_APP + 2;
constexpr UINT kSetProgressRange = WM_APP + 3;
constexpr UINT kRunEnded = WM_APP + 4;
constexpr UINT kServeAsks = WM_APP + 5;
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
    std::shared_ptr<RunGuard> run;
};

std::wstring TempPath() { return BuildTempPath(win::ExecutablePath(), DownloadUrl); }

}  // namespace

CveltrixDlg::CveltrixDlg()
    : Dialog(IDD_CVELTRIX_DIALOG),
      classIconDpi_(win::SystemDpi()),
      windowClass_(L"" MAIN_WINDOW_CLASS, win::LoadIconForDpi(IDR_MAINFRAME, SM_CXICON, classIconDpi_),
                   win::LoadIconForDpi(IDR_MAINFRAME, SM_CXSMICON, classIconDpi_)),
      desk_([this] { ::PostMessageW(Handle(), kServeAsks, 0, 0); }) {}

template <class Show>
auto CveltrixDlg::AsUserBox(Show show) {
    desk_.UserBoxOpening();
    const auto answer = show();
    desk_.UserBoxClosed(false);
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
        case kServeAsks: desk_.ServeAsks(); return 0;
        case kRunEnded: EndRun(); return 0;
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
        case kPaintProgress: PaintProgress(false); return 0;
        case kSetProgressRange: ApplyProgressRange(); return 0;
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
    // The last run is on its way out (its end step after a released
    // failure): this Start goes ahead as soon as it has ended.
    if (desk_.Busy()) {
        desk_.StartWhenEnded();
        return;
    }
    if (!PrepareStart(ownBoxes_, files_, TempPath())) {
        EnableIdleButtons();
        return;
    }
    LaunchWorker();
}

void CveltrixDlg::LaunchWorker() {
    // A give-up pending from the last Cancel is not for this run.
    ::KillTimer(Handle(), kGiveUpTimer);
    run_ = std::make_shared<RunGuard>(*this, files_, &hasher_);
    saveStepPromised_ = false;
    auto start = std::make_unique<WorkerStart>(WorkerStart{run_});
    auto thread = win::WorkerThread::CreateSuspended(&CveltrixDlg::RunWorker, start.get());
    if (!thread) {
        EnableIdleButtons();
        return;
    }
    start.release();  // the worker owns it now
    workerThread = std::move(thread);
    desk_.RunStarted();
    workerThread->Resume();
}

unsigned __stdcall CveltrixDlg::RunWorker(void* argument) {
    const std::unique_ptr<WorkerStart> start(static_cast<WorkerStart*>(argument));
    RunGuard& run = *start->run;
    win::WinInetClient http(SilenceLimitSeconds);
    // The worker's own: the picker's answer goes straight to the save step.
    std::wstring chosenFolder;
    win::WinTrustVerifier verifier;
    WorkerEnvironment env{run,         http, run, run.CancelFlag(), DownloadUrl, TempPath(), chosenFolder,
                          ProcessProxyConfig(), &run, ParseSha256(DownloadSha256), &verifier, DownloadSigner};
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
    // Message 8 was answered: its picker and save follow, and end the run.
    if (saveStepPromised_) return;
    if (run_ && run_->GiveUp()) EndRun();
}

void CveltrixDlg::StartCom() {
    if (!com_) com_.emplace();
}

// The run's end, told by the worker or decided by a give-up: the one place
// where the window becomes idle after a run.
void CveltrixDlg::EndRun() {
    PaintProgress(true);
    taskbar_->Idle();
    EnableIdleButtons();
    workerThread.reset();
    ::RedrawWindow(Item(IDC_PROGRESS), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    if (desk_.RunEnded()) StartDownload();
}

// The window is gone: a worker still running never reaches this object
// again; what it asks for is dropped, and a call into it that began before
// returns without the window thread.
CveltrixDlg::~CveltrixDlg() {
    desk_.Close();
    if (!run_) return;
    run_->Cancel();
    run_->GiveUp();
    run_->WaitForCallsUnderWay();
}

void CveltrixDlg::ExitApplication() {
    desk_.UserBoxOpening();
    const bool exiting = ShowCatalogueMessage(Handle(), msg::ConfirmExit, BoxKind::YesNo) == IDYES;
    // What the run asked for meanwhile is dropped when the user leaves.
    desk_.UserBoxClosed(exiting);
    if (!exiting) return;
    if (run_) run_->Cancel();
    // The worker finishes the chunk in hand before the process ends with it.
    ::Sleep(kCancelGraceMs);
    ::PostMessageW(Handle(), WM_CLOSE, 0, 0);
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

template <class Show>
auto CveltrixDlg::RunPrompt(Prompt prompt, Show show) {
    decltype(show()) answer{};
    // A Cancel clicked before the box could open suppresses it; once it is
    // on screen, no Cancel can be clicked until it is answered.
    if (!run_ || run_->Cancelled()) return answer;
    PaintProgress(true);
    prompting_ = true;
    taskbar_->PromptOpening(prompt);
    answer = show();
    taskbar_->PromptClosed(prompt);
    prompting_ = false;
    return answer;
}

int CveltrixDlg::OwnBoxes::ShowMessage(CatalogueId id, BoxKind kind) {
    return window_.AsUserBox([&] { return ShowCatalogueMessage(window_.Handle(), id, kind); });
}

void CveltrixDlg::OwnBoxes::NoteFailure(CatalogueId id, const std::wstring& reason) {
    window_.NoteFailure(id, reason);
}

int CveltrixDlg::RunBox(CatalogueId id, BoxKind kind) {
    const int answer = RunPrompt(kind, [&] { return ShowCatalogueMessage(Handle(), id, kind); });
    // Decided here, on the window thread, before a give-up timer queued
    // behind the box can run.
    if (id == msg::DownloadComplete && answer != 0) saveStepPromised_ = true;
    return answer;
}

int CveltrixDlg::ShowMessage(CatalogueId id, BoxKind kind) {
    int answer = 0;
    desk_.Ask([&] { answer = RunBox(id, kind); });
    return answer;
}

void CveltrixDlg::ReportAndRelease(CatalogueId id) {
    desk_.Ask([&] {
        if (RunBox(id, BoxKindOf(id))) EnableIdleButtons();
    });
}

void CveltrixDlg::SetProgressRange(std::uint64_t length) {
    {
        const std::lock_guard lock(progressMutex_);
        pendingLength_ = length;
    }
    ::PostMessageW(Handle(), kSetProgressRange, 0, 0);
}

void CveltrixDlg::ApplyProgressRange() {
    {
        const std::lock_guard lock(progressMutex_);
        barScale_ = BarScale(pendingLength_);
    }
    const int maximum = barScale_.Maximum();
    ::SendMessageW(Item(IDC_PROGRESS), PBM_SETRANGE32, 0, maximum);
    // The control keeps (and clamps) its position until the run moves it.
    shownBar_ = static_cast<int>(::SendMessageW(Item(IDC_PROGRESS), PBM_GETPOS, 0, 0));
    taskbar_->TransferStarted(static_cast<std::uint64_t>(shownBar_), static_cast<std::uint64_t>(maximum));
}

// Repainting both controls for every chunk, across threads, would cost more
// than the transfer itself; the worker only leaves the newest values and
// the window thread paints them at most every kPaintIntervalMs. Every
// message box and the end of a run paint them first, so what the user
// reads there is exact.
void CveltrixDlg::ShowProgress(const std::wstring& text, std::uint64_t position) {
    {
        const std::lock_guard lock(progressMutex_);
        pendingText_ = text;
        pendingPosition_ = position;
    }
    if (!progressPosted_.exchange(true)) ::PostMessageW(Handle(), kPaintProgress, 0, 0);
}

void CveltrixDlg::PaintProgress(bool now) {
    const ULONGLONG tick = ::GetTickCount64();
    if (!now && tick - lastPaint_ < kPaintIntervalMs) {
        ::SetTimer(Handle(), kProgressTimer, static_cast<UINT>(kPaintIntervalMs - (tick - lastPaint_)), nullptr);
        return;
    }
    ::KillTimer(Handle(), kProgressTimer);
    progressPosted_.store(false);
    std::wstring text;
    std::uint64_t position = 0;
    {
        const std::lock_guard lock(progressMutex_);
        text = pendingText_;
        position = pendingPosition_;
    }
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

// Told, never waited for: the window ends the run on its own thread.
void CveltrixDlg::ResetIdleControls() { ::PostMessageW(Handle(), kRunEnded, 0, 0); }

void CveltrixDlg::YieldTime() { ::Sleep(0); }

void CveltrixDlg::NoteFailure(CatalogueId id, const std::wstring& reason) {
    win::WriteDebugLine((id == kNoMessage ? std::wstring(L"no message") : L"message " + std::to_wstring(id)) + L": " +
                        reason);
}

std::optional<std::wstring> CveltrixDlg::ChooseSaveFolder() {
    std::optional<std::wstring> folder;
    desk_.Ask([&] {
        StartCom();
        folder = RunPrompt(std::nullopt, [&] {
            return win::ChooseFolder(Handle(), std::wstring(FolderPickerTitle(JapaneseLocale())));
        });
    });
    return folder;
}

}  // namespace cveltrix
