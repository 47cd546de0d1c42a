#include "platform/dpi_win.h"

namespace cveltrix::win {
namespace {

// A function of a loaded system DLL that older Windows (or the MinGW import
// libraries) lack; null when the DLL has no such function.
template <class Function>
Function* SystemFunction(const wchar_t* module, const char* name) {
    const FARPROC address = ::GetProcAddress(::GetModuleHandleW(module), name);
    return reinterpret_cast<Function*>(reinterpret_cast<void*>(address));
}

int MetricForDpi(int metric, UINT dpi) {
    static auto* const forDpi = SystemFunction<int WINAPI(int, UINT)>(L"user32.dll", "GetSystemMetricsForDpi");
    // Before Windows 10 1607 a window never leaves the system DPI, which
    // the plain metrics are given in.
    return forDpi ? forDpi(metric, dpi) : ::GetSystemMetrics(metric);
}

}  // namespace

UINT SystemDpi() {
    // No screen DC: getting the first one costs a start-up about 2 ms (Wine).
    static auto* const forSystem = SystemFunction<UINT WINAPI()>(L"user32.dll", "GetDpiForSystem");
    if (forSystem) return forSystem();
    HDC screen = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSX);
    ::ReleaseDC(nullptr, screen);
    return static_cast<UINT>(dpi);
}

UINT WindowDpi(HWND window) {
    static auto* const forWindow = SystemFunction<UINT WINAPI(HWND)>(L"user32.dll", "GetDpiForWindow");
    return forWindow ? forWindow(window) : SystemDpi();
}

UniqueIcon LoadIconForDpi(int id, int metric, UINT dpi) {
    // Common controls 6 (the manifest asks for them) have it.
    static auto* const scaleDown = SystemFunction<HRESULT WINAPI(HINSTANCE, PCWSTR, int, int, HICON*)>(
        L"comctl32.dll", "LoadIconWithScaleDown");
    const int size = MetricForDpi(metric, dpi);
    HINSTANCE exe = ::GetModuleHandleW(nullptr);
    HICON icon = nullptr;
    if (!scaleDown || FAILED(scaleDown(exe, MAKEINTRESOURCEW(id), size, size, &icon))) {
        icon = static_cast<HICON>(::LoadImageW(exe, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, 0));
    }
    return UniqueIcon(icon);
}

}  // namespace cveltrix::win
