// Test driver: drives the tool's windows from another process with Win32
// messages, one command per run, answering on stdout in UTF-8 (JSON where
// the answer has structure). Exit code 0 on success, 1 on failure, 2 on
// bad usage.
//
//   driver wait-main TIMEOUT_MS        the main window is up, enabled and idle
//   driver state                       main window, its controls, its popups
//   driver dialog TITLE                every control of a top-level dialog, in z-order
//   driver tab-order TITLE             the controls Tab visits in the dialog TITLE, from its focus round to it
//   driver main-windows                every main window of the tool ("hwnd" numbers); with
//                                      CVELTRIX_DRIVER_MAIN=hwnd set, the commands work on that one
//   driver sysmenu                     the main window's system menu (read by the probe)
//   driver window-icons                the main window's big and small icons and sizes (read by the probe)
//   driver click ID                    a button of the main window
//   driver press TITLE ID              a button of the dialog TITLE (posted)
//   driver check TITLE ID              BM_CLICK on a radio button of TITLE
//   driver settext TITLE ID TEXT       an edit's text in the dialog TITLE
//   driver answer ID                   a button of the one popup of the main window
//   driver answer-then-click ID CTRL   that, and at once a button of the main window
//   driver syscommand ID               a system-menu command to the main window
//   driver open-sysmenu                drops the system menu down (for a screenshot)
//   driver key esc|enter|tab           the key to the focused control
//   driver minimize | restore
//   driver taskbar-button-created      what the shell sends once the main window's button exists
//   driver trust-root FILE             a root certificate (DER) trusted for TLS, in this Wine prefix only
//   driver try-write FILE              writes one byte at FILE's start, as another program could: "written",
//                                      or "denied, error N" when the file cannot be opened for writing
#include <windows.h>
#include <commctrl.h>
#include <wincrypt.h>

#include <cwchar>
#include <string>
#include <vector>

#include "json_text.h"
#include "probe_client.h"
#include "resources/resource.h"

namespace {

using driver::Bool;
using driver::Json;
using driver::Utf8;

constexpr wchar_t kMainTitle[] = L"Cveltrix Downloader";
constexpr wchar_t kDialogClass[] = L"#32770";
constexpr wchar_t kMainClass[] = L"" MAIN_WINDOW_CLASS;

void Print(const std::wstring& text) {
    const std::string bytes = Utf8(text) + "\n";
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                nullptr);
}

int Fail(const std::wstring& why) {
    Print(L"error: " + why);
    return 1;
}

std::wstring Number(long long value) { return std::to_wstring(value); }

std::wstring TextOf(HWND window) {
    const LRESULT length = ::SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const LRESULT copied = ::SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(copied));
    return text;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[128] = {};
    ::GetClassNameW(window, name, 128);
    return name;
}

// The title as the system keeps it: nothing is sent to a window that may be busy.
bool IsMain(HWND window) {
    wchar_t title[64] = {};
    ::GetWindowTextW(window, title, 64);
    return ClassOf(window) == kMainClass && std::wstring(title) == kMainTitle;
}

// Two copies of the tool show two main windows: a test names the one it
// drives by its handle.
HWND FindMain() {
    wchar_t pinned[32] = {};
    if (!::GetEnvironmentVariableW(L"CVELTRIX_DRIVER_MAIN", pinned, 32)) return ::FindWindowW(kMainClass, kMainTitle);
    HWND window = reinterpret_cast<HWND>(static_cast<INT_PTR>(_wtoi64(pinned)));
    return ::IsWindow(window) && IsMain(window) ? window : nullptr;
}

HWND FindDialog(const std::wstring& title) { return ::FindWindowW(kDialogClass, title.c_str()); }

// Icon handles are not shared between processes under Wine: the probe names
// the icon inside the tool.
std::wstring IconName(HWND box) {
    const driver::ProbeAnswer answer = driver::AskProbe(box, driver::ProbeQuery::DialogIcon, 10000);
    return answer.ok ? answer.text : L"unknown: " + answer.text;
}

std::wstring ControlJson(HWND control) {
    const LONG style = ::GetWindowLongW(control, GWL_STYLE);
    std::wstring out = L"{\"id\":" + Number(::GetDlgCtrlID(control)) + L",\"class\":" + Json(ClassOf(control)) +
                       L",\"text\":" + Json(TextOf(control)) + L",\"enabled\":" + Bool(::IsWindowEnabled(control)) +
                       L",\"visible\":" + Bool(::IsWindowVisible(control)) + L",\"style\":" + Number(style);
    const std::wstring cls = ClassOf(control);
    if (_wcsicmp(cls.c_str(), L"Button") == 0) {
        out += L",\"checked\":" + Bool(::SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED);
    } else if (_wcsicmp(cls.c_str(), L"Edit") == 0) {
        out += L",\"passwordChar\":" + Number(::SendMessageW(control, EM_GETPASSWORDCHAR, 0, 0));
    } else if (_wcsicmp(cls.c_str(), PROGRESS_CLASSW) == 0) {
        out += L",\"position\":" + Number(::SendMessageW(control, PBM_GETPOS, 0, 0)) + L",\"maximum\":" +
               Number(::SendMessageW(control, PBM_GETRANGE, FALSE, 0));
    }
    return out + L"}";
}

// The focus window of the thread that owns `window`, or null.
HWND FocusOf(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    if (!::GetGUIThreadInfo(::GetWindowThreadProcessId(window, nullptr), &info)) return nullptr;
    return info.hwndFocus;
}

std::wstring FocusId(HWND window) {
    HWND focus = FocusOf(window);
    return focus ? Number(::GetDlgCtrlID(focus)) : L"null";
}

std::wstring DialogJson(HWND dialog) {
    std::wstring out = L"{\"hwnd\":" + Number(reinterpret_cast<LONG_PTR>(dialog)) + L",\"title\":" +
                       Json(TextOf(dialog)) + L",\"enabled\":" + Bool(::IsWindowEnabled(dialog)) + L",\"iconic\":" +
                       Bool(::IsIconic(dialog)) + L",\"focus\":" + FocusId(dialog) + L",\"controls\":[";
    bool first = true;
    for (HWND child = ::GetWindow(dialog, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        out += (first ? L"" : L",") + ControlJson(child);
        first = false;
    }
    return out + L"]}";
}

struct Popups {
    HWND owner;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectPopup(HWND window, LPARAM context) {
    auto* popups = reinterpret_cast<Popups*>(context);
    if (::GetWindow(window, GW_OWNER) == popups->owner && ::IsWindowVisible(window)) popups->found.push_back(window);
    return TRUE;
}

std::vector<HWND> PopupsOf(HWND owner) {
    Popups popups{owner, {}};
    ::EnumWindows(CollectPopup, reinterpret_cast<LPARAM>(&popups));
    return popups.found;
}

std::wstring PopupJson(HWND popup) {
    HWND message = ::GetDlgItem(popup, 0xFFFF);
    std::wstring out = DialogJson(popup);
    out.pop_back();
    return out + L",\"message\":" + (message ? Json(TextOf(message)) : L"null") + L",\"icon\":" +
           Json(IconName(popup)) + L"}";
}

int State() {
    HWND main = FindMain();
    if (!main) return Fail(L"no main window");
    std::wstring out = DialogJson(main);
    out.pop_back();
    HWND menu = ::FindWindowW(L"#32768", nullptr);
    out += L",\"menuOpen\":" + Bool(menu && ::IsWindowVisible(menu));
    out += L",\"popups\":[";
    bool first = true;
    for (HWND popup : PopupsOf(main)) {
        out += (first ? L"" : L",") + PopupJson(popup);
        first = false;
    }
    Print(out + L"]}");
    return 0;
}

// Up means shown, enabled and idle in its message loop: a window turns
// visible before its first paint, and under Wine a thread that has not
// asked for a message for five seconds, as one still painting on a loaded
// machine may not, counts as hung to anyone who asks it something.
int WaitMain(DWORD timeoutMs) {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    for (;;) {
        HWND main = FindMain();
        if (main && ::IsWindowVisible(main) && ::IsWindowEnabled(main)) {
            DWORD processId = 0;
            ::GetWindowThreadProcessId(main, &processId);
            HANDLE process = ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, processId);
            const ULONGLONG now = ::GetTickCount64();
            const DWORD left = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
            const DWORD idle = process ? ::WaitForInputIdle(process, left) : WAIT_FAILED;
            if (process) ::CloseHandle(process);
            if (idle != 0) return Fail(L"the main window never became idle");
            Print(L"ok");
            return 0;
        }
        if (::GetTickCount64() > deadline) return Fail(L"the main window did not appear");
        // Fine enough for the benchmark's launch times.
        ::Sleep(2);
    }
}

// Wine keeps a window's menus and icons inside its process: the probe DLL
// reads them there.
int Probe(driver::ProbeQuery query) {
    HWND main = FindMain();
    if (!main) return Fail(L"no main window");
    const driver::ProbeAnswer answer = driver::AskProbe(main, query, 10000);
    if (!answer.ok) return Fail(answer.text);
    Print(answer.text);
    return 0;
}

void PostCommand(HWND dialog, int id) {
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

int PostClick(HWND dialog, int id) {
    if (!dialog) return Fail(L"no such window");
    PostCommand(dialog, id);
    Print(L"ok");
    return 0;
}

// A box answered and, right behind it, what the user does on the main
// window, all posted before the box has gone: `click:ID` or `syscommand:ID`.
int Answer(int id, int stepCount = 0, wchar_t** steps = nullptr) {
    HWND main = FindMain();
    if (!main) return Fail(L"no main window");
    const std::vector<HWND> popups = PopupsOf(main);
    if (popups.size() != 1) return Fail(L"expected one popup, found " + Number(static_cast<long long>(popups.size())));
    PostCommand(popups.front(), id);
    for (int i = 0; i < stepCount; ++i) {
        const std::wstring step = steps[i];
        const std::size_t colon = step.find(L':');
        const std::wstring kind = step.substr(0, colon);
        const int argument = colon == std::wstring::npos ? 0 : _wtoi(step.c_str() + colon + 1);
        if (kind == L"click") {
            PostCommand(main, argument);
        } else if (kind == L"syscommand") {
            ::PostMessageW(main, WM_SYSCOMMAND, static_cast<WPARAM>(argument), 0);
        } else {
            return Fail(L"steps: click:ID, syscommand:ID");
        }
    }
    Print(L"ok");
    return 0;
}

int Check(HWND dialog, int id) {
    if (!dialog) return Fail(L"no such window");
    ::SendMessageW(::GetDlgItem(dialog, id), BM_CLICK, 0, 0);
    Print(L"ok");
    return 0;
}

int SetText(HWND dialog, int id, const wchar_t* text) {
    if (!dialog) return Fail(L"no such window");
    ::SendMessageW(::GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
    Print(L"ok");
    return 0;
}

// A key goes to the focus window, through the dialog's message loop, where
// IsDialogMessage turns Esc and Enter into the cancel and accept commands.
int Key(const std::wstring& name) {
    HWND main = FindMain();
    if (!main) return Fail(L"no main window");
    const WPARAM key = name == L"esc" ? VK_ESCAPE : name == L"enter" ? VK_RETURN : name == L"tab" ? VK_TAB : 0;
    if (!key) return Fail(L"keys: esc, enter, tab");
    HWND focus = FocusOf(main);
    HWND target = focus ? focus : main;
    ::PostMessageW(target, WM_KEYDOWN, key, 1);
    ::PostMessageW(target, WM_KEYUP, key, 0xC0000001);
    Print(L"ok");
    return 0;
}

int SysCommand(WPARAM command, LPARAM argument = 0) {
    HWND main = FindMain();
    if (!main) return Fail(L"no main window");
    ::PostMessageW(main, WM_SYSCOMMAND, command, argument);
    Print(L"ok");
    return 0;
}

// What Windows and other programs send to close the tool: taskkill without
// /F, the taskbar's "Close window", an installer closing running copies.
int PostClose() {
    HWND main = FindMain();
    if (!main) return Fail(L"no main window");
    ::PostMessageW(main, WM_CLOSE, 0, 0);
    Print(L"ok");
    return 0;
}

// Windows ending the session: asked, then told, each sent and answered
// before the next, as the system does.
int EndSession() {
    HWND main = FindMain();
    if (!main) return Fail(L"no main window");
    DWORD_PTR agreed = 0;
    if (!::SendMessageTimeoutW(main, WM_QUERYENDSESSION, 0, 0, SMTO_NORMAL, 5000, &agreed)) {
        return Fail(L"no answer to WM_QUERYENDSESSION");
    }
    ::SendMessageTimeoutW(main, WM_ENDSESSION, agreed ? TRUE : FALSE, 0, SMTO_NORMAL, 5000, nullptr);
    Print(agreed ? L"ended" : L"refused");
    return 0;
}

// Wine's shell never announces a taskbar button; the driver does it in its place.
int AnnounceTaskbarButton() {
    HWND main = FindMain();
    if (!main) return Fail(L"no main window");
    ::PostMessageW(main, ::RegisterWindowMessageW(L"TaskbarButtonCreated"), 0, 0);
    Print(L"ok");
    return 0;
}

std::vector<BYTE> ReadWholeFile(const wchar_t* path) {
    HANDLE file = ::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    LARGE_INTEGER size{};
    std::vector<BYTE> bytes;
    if (::GetFileSizeEx(file, &size) && size.QuadPart > 0 && size.QuadPart < (1 << 20)) {
        bytes.resize(static_cast<size_t>(size.QuadPart));
        DWORD read = 0;
        if (!::ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) || read != bytes.size()) {
            bytes.clear();
        }
    }
    ::CloseHandle(file);
    return bytes;
}

// The tests' throwaway root goes into the Root store of the prefix the
// driver runs in, the way a user trusts a certificate on Windows.
int TrustRoot(const wchar_t* path) {
    const std::vector<BYTE> der = ReadWholeFile(path);
    if (der.empty()) return Fail(L"cannot read " + std::wstring(path));
    if (!::CertAddEncodedCertificateToSystemStoreW(L"Root", der.data(), static_cast<DWORD>(der.size()))) {
        return Fail(L"the certificate was not added: error " + Number(::GetLastError()));
    }
    Print(L"ok");
    return 0;
}

// Shares everything itself, so only the share mode of a handle the tool
// holds can keep it out.
int TryWrite(const wchar_t* path) {
    HANDLE file = ::CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        Print(L"denied, error " + Number(::GetLastError()));
        return 0;
    }
    const char byte = '!';
    DWORD written = 0;
    const bool ok = ::WriteFile(file, &byte, 1, &written, nullptr) && written == 1;
    const DWORD error = ::GetLastError();
    ::CloseHandle(file);
    if (!ok) return Fail(L"opened for writing, but the write failed: error " + Number(error));
    Print(L"written");
    return 0;
}

// Another process that holds `path` open, shared with nobody, for `ms`
// milliseconds (creating it when absent), as a scanner looking at a new
// file does.
int Hold(const wchar_t* path, DWORD ms) {
    HANDLE file = ::CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return Fail(L"cannot hold " + std::wstring(path) + L": error " + Number(::GetLastError()));
    ::Sleep(ms);
    ::CloseHandle(file);
    Print(L"released");
    return 0;
}

BOOL CALLBACK CollectMain(HWND window, LPARAM found) {
    if (IsMain(window)) reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
    return TRUE;
}

int MainWindows() {
    std::vector<HWND> found;
    ::EnumWindows(CollectMain, reinterpret_cast<LPARAM>(&found));
    std::wstring out = L"[";
    for (HWND window : found) out += (out.size() > 1 ? L"," : L"") + Number(reinterpret_cast<LONG_PTR>(window));
    Print(out + L"]");
    return 0;
}

// Real Tab keys through the dialog's own message loop, each waited for
// until the focus moves, as a keyboard user walks the dialog.
int TabOrder(HWND dialog) {
    if (!dialog) return Fail(L"no such window");
    HWND start = FocusOf(dialog);
    if (!start) return Fail(L"nothing has the focus");
    std::wstring out = L"[" + Number(::GetDlgCtrlID(start));
    HWND focus = start;
    for (int visited = 0; visited < 64; ++visited) {
        ::PostMessageW(focus, WM_KEYDOWN, VK_TAB, 1);
        ::PostMessageW(focus, WM_KEYUP, VK_TAB, 0xC0000001);
        const ULONGLONG deadline = ::GetTickCount64() + 5000;
        HWND next = focus;
        // The tool's thread moves the focus when it takes the key.
        while ((next = FocusOf(dialog)) == focus && ::GetTickCount64() < deadline) ::Sleep(5);
        if (next == focus) return Fail(L"Tab left the focus on " + Number(::GetDlgCtrlID(focus)));
        if (next == start) {
            Print(out + L"]");
            return 0;
        }
        out += L"," + Number(::GetDlgCtrlID(next));
        focus = next;
    }
    return Fail(L"Tab never came back to " + Number(::GetDlgCtrlID(start)));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"wait-main" && argc == 3) return WaitMain(static_cast<DWORD>(_wtoi(argv[2])));
    if (command == L"state" && argc == 2) return State();
    if (command == L"dialog" && argc == 3) {
        HWND dialog = FindDialog(argv[2]);
        if (!dialog) return Fail(L"no dialog titled " + std::wstring(argv[2]));
        Print(DialogJson(dialog));
        return 0;
    }
    if (command == L"tab-order" && argc == 3) return TabOrder(FindDialog(argv[2]));
    if (command == L"main-windows" && argc == 2) return MainWindows();
    if (command == L"sysmenu" && argc == 2) return Probe(driver::ProbeQuery::SystemMenu);
    if (command == L"window-icons" && argc == 2) return Probe(driver::ProbeQuery::WindowIcons);
    if (command == L"click" && argc == 3) return PostClick(FindMain(), _wtoi(argv[2]));
    if (command == L"press" && argc == 4) return PostClick(FindDialog(argv[2]), _wtoi(argv[3]));
    if (command == L"check" && argc == 4) return Check(FindDialog(argv[2]), _wtoi(argv[3]));
    if (command == L"settext" && argc == 5) return SetText(FindDialog(argv[2]), _wtoi(argv[3]), argv[4]);
    if (command == L"answer" && argc == 3) return Answer(_wtoi(argv[2]));
    if (command == L"syscommand" && argc == 3) return SysCommand(static_cast<WPARAM>(_wtoi(argv[2])));
    if (command == L"answer-then-post" && argc >= 4) return Answer(_wtoi(argv[2]), argc - 3, argv + 3);
    // SC_KEYMENU with a blank: the system menu drops down, as Alt+Space does.
    if (command == L"open-sysmenu" && argc == 2) return SysCommand(SC_KEYMENU, L' ');
    if (command == L"key" && argc == 3) return Key(argv[2]);
    if (command == L"close" && argc == 2) return PostClose();
    if (command == L"end-session" && argc == 2) return EndSession();
    if (command == L"minimize" && argc == 2) return SysCommand(SC_MINIMIZE);
    if (command == L"restore" && argc == 2) return SysCommand(SC_RESTORE);
    if (command == L"taskbar-button-created" && argc == 2) return AnnounceTaskbarButton();
    if (command == L"trust-root" && argc == 3) return TrustRoot(argv[2]);
    if (command == L"try-write" && argc == 3) return TryWrite(argv[2]);
    if (command == L"hold" && argc == 4) return Hold(argv[2], static_cast<DWORD>(_wtoi(argv[3])));
    Print(L"usage: driver wait-main MS | state | dialog TITLE | sysmenu | window-icons | click ID | press TITLE ID | "
          L"check TITLE ID | settext TITLE ID TEXT | answer ID | "
          L"answer-then-post ID click:CTRL|syscommand:ID... | syscommand ID | key esc|enter|tab | close | end-session | "
          L"minimize | "
          L"restore | taskbar-button-created | trust-root FILE | try-write FILE | hold FILE MS | tab-order TITLE | "
          L"main-windows");
    return 2;
}
