// The shell's folder picker, opened at the user's desktop.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace cveltrix::win {

// File-system folders only; nothing when the user cancels or the chosen
// item has no file-system path. Needs COM initialised on the calling thread.
std::optional<std::wstring> ChooseFolder(HWND owner, const std::wstring& title);

// COM for the calling thread, for as long as the object lives.
class ComApartment {
public:
    ComApartment();
    ~ComApartment();
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    bool initialized_;
};

}  // namespace cveltrix::win
