// Owning wrappers for Win32 handles: each closes its handle in one place.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <memory>
#include <type_traits>

namespace cveltrix::win {

struct CloseFileHandle {
    void operator()(HANDLE h) const {
        if (h && h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
    }
};
struct CloseInternetHandle {
    void operator()(HINTERNET h) const {
        if (h) ::InternetCloseHandle(h);
    }
};

using UniqueHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, CloseFileHandle>;
using UniqueInternet = std::unique_ptr<std::remove_pointer_t<HINTERNET>, CloseInternetHandle>;

}  // namespace cveltrix::win
