// The platform's own limit for the tool's read loop: the same WinINet flags,
// the same query-available-then-read rule and 16384-byte chunks, appended to
// a file, with no window and no progress. Prints the seconds it took. With a
// PROXY ("host:port") it goes through that proxy, as the tool's proxied way.
//
//   bare_loop.exe URL OUTPUT_FILE [PROXY]
#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <vector>

#include "platform/unique_handle_win.h"

int wmain(int argc, wchar_t** argv) {
    using cveltrix::win::UniqueHandle;
    using cveltrix::win::UniqueInternet;
    if (argc != 3 && argc != 4) {
        std::fwprintf(stderr, L"usage: bare_loop URL OUTPUT_FILE [PROXY]\n");
        return 2;
    }
    const wchar_t* proxy = argc == 4 ? argv[3] : nullptr;
    LARGE_INTEGER frequency, start, end;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);

    UniqueInternet session(::InternetOpenW(nullptr, proxy ? INTERNET_OPEN_TYPE_PROXY : INTERNET_OPEN_TYPE_PRECONFIG,
                                                  proxy, nullptr, 0));
    UniqueInternet request(::InternetOpenUrlW(session.get(), argv[1], L"Range: bytes=0-", static_cast<DWORD>(-1),
                                              INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0));
    UniqueHandle file(::CreateFileW(argv[2], GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!request || file.get() == INVALID_HANDLE_VALUE) {
        std::fwprintf(stderr, L"cannot open the URL or the output file\n");
        return 1;
    }
    std::vector<char> buffer(16384);
    unsigned long long total = 0;
    for (;;) {
        DWORD available = 0;
        if (!::InternetQueryDataAvailable(request.get(), &available, 0, 0)) available = 0;
        DWORD read = 0;
        const DWORD wanted = available < buffer.size() ? available : static_cast<DWORD>(buffer.size());
        if (!::InternetReadFile(request.get(), buffer.data(), wanted, &read) || read == 0) break;
        DWORD written = 0;
        if (!::WriteFile(file.get(), buffer.data(), read, &written, nullptr) || written != read) return 1;
        total += read;
        ::Sleep(0);
    }
    ::QueryPerformanceCounter(&end);
    std::printf("%llu bytes %.3f s\n", total, static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart);
    return 0;
}
