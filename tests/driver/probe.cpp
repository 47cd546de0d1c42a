// The probe DLL: Wine loads it into the tool when the driver's hook first
// runs on the tool's thread; it answers from inside the process (probe.h).
#include "probe.h"

#include <string>
#include <utility>

#include "json_text.h"

namespace driver {
namespace {

std::wstring MenuItemText(HMENU menu, UINT position) {
    MENUITEMINFOW item{};
    item.cbSize = sizeof(item);
    item.fMask = MIIM_STRING;
    if (!::GetMenuItemInfoW(menu, position, TRUE, &item) || item.cch == 0) return {};
    std::wstring text(item.cch + 1, L'\0');
    item.dwTypeData = text.data();
    item.cch = static_cast<UINT>(text.size());
    ::GetMenuItemInfoW(menu, position, TRUE, &item);
    text.resize(item.cch);
    return text;
}

std::wstring SystemMenuJson(HWND window) {
    HMENU menu = ::GetSystemMenu(window, FALSE);
    if (!menu) return L"null";
    std::wstring out = L"[";
    const int count = ::GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        const auto position = static_cast<UINT>(i);
        MENUITEMINFOW item{};
        item.cbSize = sizeof(item);
        item.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STATE;
        ::GetMenuItemInfoW(menu, position, TRUE, &item);
        out += (i ? L"," : L"") + std::wstring(L"{\"id\":") + std::to_wstring(item.wID) + L",\"text\":" +
               Json(MenuItemText(menu, position)) + L",\"separator\":" + Bool(item.fType & MFT_SEPARATOR) +
               L",\"grayed\":" + Bool(item.fState & MFS_GRAYED) + L"}";
    }
    return out + L"]";
}

// The icon's bitmaps, freed when done; the colour one is absent for a
// monochrome icon.
struct IconBitmaps : ICONINFOEXW {
    explicit IconBitmaps(HICON icon) : ICONINFOEXW{} {
        cbSize = sizeof(ICONINFOEXW);
        ok = ::GetIconInfoExW(icon, this);
    }
    ~IconBitmaps() {
        if (hbmColor) ::DeleteObject(hbmColor);
        if (hbmMask) ::DeleteObject(hbmMask);
    }
    IconBitmaps(const IconBitmaps&) = delete;
    IconBitmaps& operator=(const IconBitmaps&) = delete;
    bool ok;
};

// The system icons are shared, one handle per process, so they are named by
// loading them again; an icon of the exe by the resource it came from.
std::wstring IconName(HICON icon) {
    if (!icon) return L"none";
    static const std::pair<LPCWSTR, const wchar_t*> kSystemIcons[] = {
        {IDI_APPLICATION, L"application"}, {IDI_QUESTION, L"question"}, {IDI_WARNING, L"warning"},
        {IDI_INFORMATION, L"information"}, {IDI_ERROR, L"error"}};
    for (const auto& [id, name] : kSystemIcons) {
        if (::LoadIconW(nullptr, id) == icon) return name;
    }
    const IconBitmaps bitmaps(icon);
    return bitmaps.ok && bitmaps.wResID ? L"resource:" + std::to_wstring(bitmaps.wResID) : L"other";
}

// Width in pixels; 0 when the icon cannot be read.
int IconSize(HICON icon) {
    const IconBitmaps bitmaps(icon);
    BITMAP bitmap{};
    if (!bitmaps.ok || !::GetObjectW(bitmaps.hbmColor ? bitmaps.hbmColor : bitmaps.hbmMask, sizeof(bitmap), &bitmap))
        return 0;
    return bitmap.bmWidth;
}

// The window's own icon, else its class's, as the shell looks for them.
std::wstring WindowIconsJson(HWND window) {
    auto icon = [window](WPARAM which) {
        const auto own = reinterpret_cast<HICON>(::SendMessageW(window, WM_GETICON, which, 0));
        return own ? own
                   : reinterpret_cast<HICON>(::GetClassLongPtrW(window, which == ICON_BIG ? GCLP_HICON : GCLP_HICONSM));
    };
    return L"{\"big\":" + Json(IconName(icon(ICON_BIG))) + L",\"small\":" + Json(IconName(icon(ICON_SMALL))) +
           L",\"bigSize\":" + std::to_wstring(IconSize(icon(ICON_BIG))) + L",\"smallSize\":" +
           std::to_wstring(IconSize(icon(ICON_SMALL))) + L"}";
}

// A message box shows its icon in a static of the icon style.
std::wstring DialogIconName(HWND dialog) {
    for (HWND child = ::GetWindow(dialog, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        if ((::GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            return IconName(reinterpret_cast<HICON>(::SendMessageW(child, STM_GETICON, 0, 0)));
    }
    return L"none";
}

std::wstring Answer(HWND target, ProbeQuery query) {
    switch (query) {
        case ProbeQuery::SystemMenu: return SystemMenuJson(target);
        case ProbeQuery::WindowIcons: return WindowIconsJson(target);
        case ProbeQuery::DialogIcon: return DialogIconName(target);
    }
    return L"null";
}

void Reply(HWND target, HWND replyWindow, ProbeQuery query) {
    const std::wstring answer = Answer(target, query);
    COPYDATASTRUCT data{};
    data.dwData = static_cast<ULONG_PTR>(query);
    data.cbData = static_cast<DWORD>(answer.size() * sizeof(wchar_t));
    data.lpData = const_cast<wchar_t*>(answer.data());
    ::SendMessageW(replyWindow, WM_COPYDATA, reinterpret_cast<WPARAM>(target), reinterpret_cast<LPARAM>(&data));
}

}  // namespace
}  // namespace driver

extern "C" __declspec(dllexport) LRESULT CALLBACK ProbeHook(int code, WPARAM wParam, LPARAM lParam) {
    static const UINT probeMessage = ::RegisterWindowMessageW(driver::kProbeMessage);
    if (code == HC_ACTION) {
        const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
        if (call->message == probeMessage)
            driver::Reply(call->hwnd, reinterpret_cast<HWND>(call->wParam), static_cast<driver::ProbeQuery>(call->lParam));
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}
