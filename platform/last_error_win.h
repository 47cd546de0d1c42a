// The platform's error code of an adapter's last failed call, kept so that
// a failure the user sees can name its reason.
#pragma once

#include <windows.h>

#include <cstdint>

namespace cveltrix::win {

class KeptError {
public:
    std::uint32_t Code() const { return code_; }
    // Takes GetLastError() now; returns `result` for the failing call.
    template <class Result>
    Result Failed(Result result) {
        code_ = ::GetLastError();
        return result;
    }

private:
    DWORD code_ = 0;
};

}  // namespace cveltrix::win
