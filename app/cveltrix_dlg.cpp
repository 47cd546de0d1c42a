#include "app/cveltrix_dlg.h"

#include <commctrl.h>

#include "app/about_dlg.h"
#include "download/download_url.h"
#include "download/paths.h"
#include "download/worker.h"
#include "platform/files_win.h"
#include "platform/folder_picker_win.h"
#include "platform/http_wininet.h"
#include "platform/locale_win.h"
#include "platform/message_box_win.h"
#include "platform/module_win.h"
#include "platform/sha256_bcrypt.h"
#include "platform/version_info_win.h"
#include "proxy/proxy_dialog.h"
#include "resources/resource.h"

namespace cveltrix {
namespace {

// Posted from any thread; the window thread then gives the keyboard focus
// back to a usable button when the focused one was disabled.
constexpr UINT kRestoreFocus = WM_APP + 1;
constexpr DWORD kCancelGraceMs = 200;

HICON LoadAppIcon(int metricX, int metricY) {
    return static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                           ::GetSystemMetrics(metricX), ::GetSystemMetrics(metricY), LR_SHARED));
}

std::wstring TempPath() { return BuildTempPath(win::ExecutablePath(), DownloadUrl); }

}  // namespace

CveltrixDlg::CveltrixDlg() : Dialog(IDD_CVELTRIX_DIALOG), icon_(LoadAppIcon(SM_CXICON, SM_CYICON)) {}

bool CveltrixDlg::OnInitDialog() {
    Dialog::OnInitDialog();
    AddVersionMenuItem();
    ::SetWindowTextW(Handle(), win::ReadVersionValue(L"ProductName").c_str());
    ::SendMessageW(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    ::SendMessageW(Handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(LoadAppIcon(SM_CXSMICON, SM_CYSMICON)));
    SetCaptions();
    SetItemText(IDC_DESCRIPTION,
                DescriptionLabel(win::Text(caption::DescriptionPiece), DownloadUrl, win::JapaneseLocale()));
    // The close box does nothing: Exit, with its question, is the way out.
    ::EnableMenuItem(::GetSystemMenu(Handle(), FALSE), SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
    EnableItem(IDC_CANCEL_DOWNLOAD, false);
    return true;
}

void CveltrixDlg::AddVersionMenuItem() {
    HMENU menu = ::GetSystemMenu(Handle(), FALSE);
    const std::wstring text = win::Text(caption::VersionMenu);
    if (!menu || text.empty()) return;
    ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(menu, MF_STRING, IDM_ABOUTBOX, text.c_str());
}

void CveltrixDlg::SetCaptions() {
    SetItemText(IDC_PROXY, win::Text(caption::ProxyButton));
    SetItemText(IDC_START, win::Text(caption::StartButton));
    SetItemText(IDC_CANCEL_DOWNLOAD, win::Text(caption::CancelButton));
    SetItemText(IDC_EXIT, win::Text(caption::ExitButton));
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
    switch (message) {
        case WM_SYSCOMMAND:
            if (OnSysCommand(wParam)) return 0;
            break;
        case WM_PAINT:
            if (PaintMinimized()) return 0;
            break;
        case WM_QUERYDRAGICON: return reinterpret_cast<INT_PTR>(icon_);
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            if (header->idFrom == IDC_PROGRESS && header->code == NM_CUSTOMDRAW) return CDRF_DODEFAULT;
            break;
        }
        case kRestoreFocus: {
            HWND focus = ::GetFocus();
            if (!focus || !::IsWindowEnabled(focus)) {
                HWND target = ::IsWindowEnabled(Item(IDC_START)) ? Item(IDC_START) : Item(IDC_EXIT);
                ::SendMessageW(Handle(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(target), TRUE);
            }
            return 0;
        }
    }
    return std::nullopt;
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
    ::DrawIcon(dc, x, y, icon_);
    ::EndPaint(Handle(), &paint);
    return true;
}

void CveltrixDlg::StartDownload() {
    SetBusy();
    win::WinFileSystem files;
    if (!PrepareStart(*this, files, TempPath())) {
        SetIdleAfterRefusal();
        return;
    }
    if (!workerThread.load()) LaunchWorker();
}

void CveltrixDlg::LaunchWorker() {
    auto thread = win::WorkerThread::CreateSuspended(&CveltrixDlg::RunWorker, this);
    if (!thread) {
        SetIdleAfterRefusal();
        return;
    }
    // Recorded before it runs, so its own clearing at the end comes after.
    workerStorage_ = std::move(thread);
    workerThread.store(workerStorage_.get());
    workerStorage_->Resume();
}

unsigned __stdcall CveltrixDlg::RunWorker(void* window) {
    auto& self = *static_cast<CveltrixDlg*>(window);
    const win::ComApartment com;  // for the folder picker
    win::WinInetClient http;
    win::WinFileSystem files;
    win::BCryptFileHasher hasher;
    WorkerEnvironment env{self, http, files, DownloadUrl, TempPath(), self.chosenFolder_, ProcessProxyConfig(),
                          &hasher, ParseSha256(DownloadSha256)};
    return static_cast<unsigned>(DownloadWorker(env));
}

void CveltrixDlg::CancelDownload() {
    cancelRequested.store(true);
    ::Sleep(kCancelGraceMs);
    EnableItem(IDC_CANCEL_DOWNLOAD, false);
    ::PostMessageW(Handle(), kRestoreFocus, 0, 0);
}

void CveltrixDlg::ExitApplication() {
    if (ShowMessage(msg::ConfirmExit, BoxKind::YesNo) != IDYES) return;
    cancelRequested.store(true);
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

void CveltrixDlg::SetIdleAfterRefusal() {
    EnableIdleButtons();
    EnableItem(IDC_CANCEL_DOWNLOAD, false);
    cancelRequested.store(false);
    ::PostMessageW(Handle(), kRestoreFocus, 0, 0);
}

void CveltrixDlg::EnableIdleButtons() {
    EnableItem(IDC_START, true);
    EnableItem(IDC_PROXY, true);
}

int CveltrixDlg::ShowMessage(CatalogueId id, BoxKind kind) { return win::ShowMessage(Handle(), id, kind); }

void CveltrixDlg::ReportAndRelease(CatalogueId id) {
    ShowMessage(id, BoxKindOf(id));
    EnableItem(IDC_CANCEL_DOWNLOAD, false);
    EnableIdleButtons();
    ::PostMessageW(Handle(), kRestoreFocus, 0, 0);
}

void CveltrixDlg::SetProgressRange(std::uint64_t length) {
    barScale_ = BarScale(length);
    ::SendMessageW(Item(IDC_PROGRESS), PBM_SETRANGE32, 0, barScale_.Maximum());
    RECT bar;
    ::GetClientRect(Item(IDC_PROGRESS), &bar);
    barWidth_ = bar.right - bar.left;
    shownBarPixels_ = -1;
    shownText_.clear();
}

void CveltrixDlg::ShowProgress(const std::wstring& text, std::uint64_t position) {
    // Each chunk would repaint both controls; only what changed on screen is
    // sent, and the last position always is, so the final figures are exact.
    if (text != shownText_) {
        SetItemText(IDC_PROGRESS_TEXT, text);
        ::UpdateWindow(Item(IDC_PROGRESS_TEXT));
        shownText_ = text;
    }
    const int scaled = barScale_.Position(position);
    const int maximum = barScale_.Maximum();
    const int pixels = maximum > 0 ? ::MulDiv(scaled, barWidth_, maximum) : 0;
    if (pixels != shownBarPixels_ || scaled >= maximum) {
        ::SendMessageW(Item(IDC_PROGRESS), PBM_SETPOS, scaled, 0);
        ::UpdateWindow(Item(IDC_PROGRESS));
        shownBarPixels_ = pixels;
    }
}

void CveltrixDlg::ResetIdleControls() {
    EnableIdleButtons();
    EnableItem(IDC_CANCEL_DOWNLOAD, false);
    cancelRequested.store(false);
    workerThread.store(nullptr);
    ::RedrawWindow(Item(IDC_PROGRESS), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    ::PostMessageW(Handle(), kRestoreFocus, 0, 0);
}

void CveltrixDlg::YieldTime() { ::Sleep(0); }

std::optional<std::wstring> CveltrixDlg::ChooseSaveFolder() {
    return win::ChooseFolder(Handle(), std::wstring(FolderPickerTitle(win::JapaneseLocale())));
}

}  // namespace cveltrix
