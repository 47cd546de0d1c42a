#include "platform/dialog_win.h"

#include <utility>

namespace cveltrix::win {

std::wstring WindowText(HWND window) {
    const int length = ::GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(window, text.data(), length + 1)));
    return text;
}

void DataExchange::Text(int controlId, std::wstring& value) {
    HWND control = ::GetDlgItem(dialog_, controlId);
    if (saving_) {
        value = WindowText(control);
    } else {
        ::SetWindowTextW(control, value.c_str());
    }
}

void DataExchange::Radio(int firstId, int& index) {
    HWND button = ::GetDlgItem(dialog_, firstId);
    for (int i = 0; button; ++i) {
        if (saving_) {
            if (::SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED) {
                index = i;
                return;
            }
        } else {
            ::SendMessageW(button, BM_SETCHECK, i == index ? BST_CHECKED : BST_UNCHECKED, 0);
        }
        button = ::GetNextDlgGroupItem(dialog_, button, FALSE);
        if (button == ::GetDlgItem(dialog_, firstId)) break;
    }
    if (saving_) index = -1;
}

DialogClass::DialogClass(const wchar_t* name, UniqueIcon big, UniqueIcon small)
    : name_(name), big_(std::move(big)), small_(std::move(small)) {
    WNDCLASSEXW dialogClass{};
    dialogClass.cbSize = sizeof(dialogClass);
    ::GetClassInfoExW(nullptr, WC_DIALOG, &dialogClass);
    dialogClass.hInstance = ::GetModuleHandleW(nullptr);
    dialogClass.hIcon = big_.get();
    dialogClass.hIconSm = small_.get();
    dialogClass.lpszClassName = name_;
    atom_ = ::RegisterClassExW(&dialogClass);
}

DialogClass::~DialogClass() {
    if (atom_) ::UnregisterClassW(name_, ::GetModuleHandleW(nullptr));
}

INT_PTR Dialog::DoModal(HWND owner) {
    return ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId_), owner, Procedure,
                             reinterpret_cast<LPARAM>(this));
}

bool Dialog::OnInitDialog() { return UpdateData(false); }

void Dialog::OnOK() {
    if (UpdateData(true)) EndDialog(IDOK);
}

bool Dialog::UpdateData(bool saving) {
    DataExchange exchange(hwnd_, saving);
    DoDataExchange(exchange);
    return true;
}

void Dialog::SetItemText(int controlId, std::wstring_view text) {
    ::SetDlgItemTextW(hwnd_, controlId, std::wstring(text).c_str());
}

INT_PTR Dialog::HandleCommand(WPARAM wParam) {
    const WORD id = LOWORD(wParam);
    const WORD code = HIWORD(wParam);
    if (OnCommand(id, code)) return TRUE;
    if (id == IDOK && code == BN_CLICKED) {
        OnOK();
        return TRUE;
    }
    if (id == IDCANCEL && code == BN_CLICKED) {
        OnCancel();
        return TRUE;
    }
    return FALSE;
}

INT_PTR CALLBACK Dialog::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<Dialog*>(lParam);
        self->hwnd_ = window;
        ::SetWindowLongPtrW(window, DWLP_USER, lParam);
        return self->OnInitDialog() ? TRUE : FALSE;
    }
    auto* self = reinterpret_cast<Dialog*>(::GetWindowLongPtrW(window, DWLP_USER));
    if (!self) return FALSE;
    if (message == WM_COMMAND) return self->HandleCommand(wParam);
    if (auto handled = self->OnMessage(message, wParam, lParam)) {
        // A few messages take the procedure's return value as their answer;
        // the others read it from DWLP_MSGRESULT.
        if (message == WM_QUERYDRAGICON) return *handled;
        ::SetWindowLongPtrW(window, DWLP_MSGRESULT, *handled);
        return TRUE;
    }
    return FALSE;
}

}  // namespace cveltrix::win
