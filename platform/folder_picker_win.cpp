#include "platform/folder_picker_win.h"

#include <objbase.h>
#include <shlobj.h>

#include <memory>

namespace cveltrix::win {
namespace {

int CALLBACK SelectInitialFolder(HWND picker, UINT message, LPARAM, LPARAM desktopPath) {
    if (message == BFFM_INITIALIZED) ::SendMessageW(picker, BFFM_SETSELECTIONW, TRUE, desktopPath);
    return 0;
}

struct FreeItem {
    void operator()(LPITEMIDLIST item) const { ::CoTaskMemFree(item); }
};

}  // namespace

std::optional<std::wstring> ChooseFolder(HWND owner, const std::wstring& title) {
    wchar_t desktop[MAX_PATH] = {};
    ::SHGetSpecialFolderPathW(owner, desktop, CSIDL_DESKTOPDIRECTORY, FALSE);
    wchar_t displayName[MAX_PATH] = {};

    BROWSEINFOW info = {};
    info.hwndOwner = owner;
    info.pszDisplayName = displayName;
    info.lpszTitle = title.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    info.lpfn = SelectInitialFolder;
    info.lParam = reinterpret_cast<LPARAM>(desktop);

    const std::unique_ptr<ITEMIDLIST, FreeItem> item(::SHBrowseForFolderW(&info));
    if (!item) return std::nullopt;
    wchar_t path[MAX_PATH] = {};
    if (!::SHGetPathFromIDListW(item.get(), path) || path[0] == L'\0') return std::nullopt;
    return std::wstring(path);
}

ComApartment::ComApartment()
    : initialized_(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {}

ComApartment::~ComApartment() {
    if (initialized_) ::CoUninitialize();
}

}  // namespace cveltrix::win
