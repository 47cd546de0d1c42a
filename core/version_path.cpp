#include "core/version_path.h"

namespace cveltrix {
namespace {

std::wstring Hex4(std::uint16_t value) {
    static constexpr wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring text(4, L'0');
    for (int i = 3; i >= 0; --i, value >>= 4) text[static_cast<size_t>(i)] = kDigits[value & 0xF];
    return text;
}

}  // namespace

std::wstring VersionValuePath(std::uint16_t language, std::uint16_t codePage, std::wstring_view name) {
    return L"\\StringFileInfo\\" + Hex4(language) + Hex4(codePage) + L"\\" + std::wstring(name);
}

}  // namespace cveltrix
