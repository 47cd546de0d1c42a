// A small modal-dialog layer on plain Win32: the dialog procedure keeps the
// object in the window's user data, a data-exchange step moves members to
// and from controls, and each dialog maps (event, control) to a handler.
#pragma once

#include <windows.h>

#include <optional>
#include <span>
#include <string>

#include "platform/dpi_win.h"

namespace cveltrix::win {

// Moves values between controls and members: into the controls when the
// dialog opens, out of them when it is accepted.
class DataExchange {
public:
    DataExchange(HWND dialog, bool saving) : dialog_(dialog), saving_(saving) {}
    bool Saving() const { return saving_; }
    void Text(int controlId, std::wstring& value);
    // Index of the checked radio button in the group that starts at firstId.
    void Radio(int firstId, int& index);

private:
    HWND dialog_;
    bool saving_;
};

std::wstring WindowText(HWND window);

// The system's dialog class under another name, with icons of its own: a
// dialog whose template names it (CLASS) has its icons from its first frame
// on, instead of being given them once it exists. Registered for the life
// of the object, which keeps the icons.
class DialogClass {
public:
    DialogClass(const wchar_t* name, UniqueIcon big, UniqueIcon small);
    ~DialogClass();
    DialogClass(const DialogClass&) = delete;
    DialogClass& operator=(const DialogClass&) = delete;

    HICON BigIcon() const { return big_.get(); }

private:
    const wchar_t* name_;
    UniqueIcon big_;
    UniqueIcon small_;
    ATOM atom_;
};

class Dialog {
public:
    explicit Dialog(int templateId) : templateId_(templateId) {}
    virtual ~Dialog() = default;
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Runs the dialog until it ends; returns the value given to EndDialog.
    INT_PTR DoModal(HWND owner);
    HWND Handle() const { return hwnd_; }

protected:
    // One row of a dialog's event table: a WM_COMMAND notification code
    // from a control, and the member that handles it.
    template <class T>
    struct Event {
        WORD code;
        int controlId;
        void (T::*handler)();
    };

    template <class T>
    static bool Dispatch(T& dialog, std::span<const Event<T>> table, WORD controlId, WORD code) {
        for (const Event<T>& e : table) {
            if (e.controlId == controlId && e.code == code) {
                (dialog.*e.handler)();
                return true;
            }
        }
        return false;
    }

    // Default: exchange data into the controls; true puts the focus on the
    // first tab stop.
    virtual bool OnInitDialog();
    virtual void DoDataExchange(DataExchange&) {}
    // The event table; false lets the default handling run.
    virtual bool OnCommand(WORD, WORD) { return false; }
    // Any other message; nothing lets the default dialog handling run.
    virtual std::optional<INT_PTR> OnMessage(UINT, WPARAM, LPARAM) { return std::nullopt; }
    // Enter and Esc (and a close request) end the dialog by default.
    virtual void OnOK();
    virtual void OnCancel() { EndDialog(IDCANCEL); }

    bool UpdateData(bool saving);
    void EndDialog(INT_PTR result) { ::EndDialog(hwnd_, result); }
    HWND Item(int controlId) const { return ::GetDlgItem(hwnd_, controlId); }
    void SetItemText(int controlId, std::wstring_view text);
    void EnableItem(int controlId, bool enabled) { ::EnableWindow(Item(controlId), enabled); }

private:
    static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleCommand(WPARAM wParam);

    int templateId_;
    HWND hwnd_ = nullptr;
};

}  // namespace cveltrix::win
