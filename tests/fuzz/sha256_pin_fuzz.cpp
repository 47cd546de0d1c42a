// The pinned SHA-256 as the build is given it.
#include "core/integrity.h"
#include "tests/fuzz/fuzz_support.h"

using namespace cveltrix;
using namespace cveltrix::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::wstring text = TextOf(data, size);
    const auto digest = ParseSha256(text);
    std::wstring lowered;
    for (const wchar_t c : text) lowered += Lower(c);
    const bool hex = lowered.size() == 64 && lowered.find_first_not_of(L"0123456789abcdef") == std::wstring::npos;
    Require(digest.has_value() == hex, "a digest iff 64 hexadecimal digits");
    if (!digest) return 0;
    static constexpr wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring written;
    for (const std::uint8_t byte : *digest) written += {kDigits[byte >> 4], kDigits[byte & 15]};
    Require(written == lowered, "the digest written in hex is the text");
    return 0;
}
