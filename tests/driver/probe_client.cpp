#include "probe_client.h"

#include <memory>
#include <type_traits>

namespace driver {
namespace {

constexpr wchar_t kReplyClass[] = L"CveltrixDriverReply";

template <typename Handle, auto Release>
using Unique = std::unique_ptr<std::remove_pointer_t<Handle>, decltype([](Handle h) { Release(h); })>;

// The DLL sits beside the driver exe.
std::wstring ProbeDllPath() {
    std::wstring path(MAX_PATH, L'\0');
    while (::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())) >= path.size())
        path.resize(path.size() * 2);
    path.resize(path.find_last_of(L"\\/") + 1);
    return path + L"probe.dll";
}

LRESULT CALLBACK TakeReply(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_COPYDATA) return ::DefWindowProcW(window, message, wParam, lParam);
    auto* answer = reinterpret_cast<ProbeAnswer*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    *answer = {true, std::wstring(static_cast<const wchar_t*>(data->lpData), data->cbData / sizeof(wchar_t))};
    return TRUE;
}

HWND CreateReplyWindow(ProbeAnswer& answer) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = TakeReply;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kReplyClass;
    ::RegisterClassW(&windowClass);
    HWND window = ::CreateWindowExW(0, kReplyClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    windowClass.hInstance, nullptr);
    if (window) ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&answer));
    return window;
}

}  // namespace

ProbeAnswer AskProbe(HWND target, ProbeQuery query, UINT timeoutMs) {
    ProbeAnswer answer{false, L"the probe did not answer"};
    Unique<HMODULE, ::FreeLibrary> dll(::LoadLibraryW(ProbeDllPath().c_str()));
    if (!dll) return {false, L"probe.dll is missing beside the driver"};
    Unique<HWND, ::DestroyWindow> reply(CreateReplyWindow(answer));
    if (!reply) return {false, L"cannot create the probe's reply window"};
    // Through void(*)(), the one function type that converts to any other without a warning.
    auto hook = reinterpret_cast<HOOKPROC>(reinterpret_cast<void (*)()>(::GetProcAddress(dll.get(), kProbeHookName)));
    const DWORD thread = ::GetWindowThreadProcessId(target, nullptr);
    Unique<HHOOK, ::UnhookWindowsHookEx> installed(::SetWindowsHookExW(WH_CALLWNDPROC, hook, dll.get(), thread));
    if (!installed) return {false, L"cannot hook the tool's thread"};
    // While this send waits, the thread takes the probe's WM_COPYDATA. A
    // tool busy for a moment is not hung: the time limit alone bounds it.
    DWORD_PTR ignored = 0;
    if (!::SendMessageTimeoutW(target, ::RegisterWindowMessageW(kProbeMessage), reinterpret_cast<WPARAM>(reply.get()),
                               static_cast<LPARAM>(query), SMTO_NORMAL, timeoutMs, &ignored))
        return {false, L"the tool did not take the probe's question in time"};
    return answer;
}

}  // namespace driver
