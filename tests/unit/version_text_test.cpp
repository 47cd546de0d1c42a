#include "core/version_text.h"
#include "core/version_path.h"

#include <gtest/gtest.h>

namespace cveltrix {
namespace {

TEST(VersionValuePathTest, NamesTheStringBlockByLanguageThenCodePageInLowercaseHex) {
    EXPECT_EQ(VersionValuePath(0x0411, 0x03A4, L"ProductName"), L"\\StringFileInfo\\041103a4\\ProductName");
    EXPECT_EQ(VersionValuePath(0xABCD, 0x00EF, L"LegalCopyright"), L"\\StringFileInfo\\abcd00ef\\LegalCopyright");
    EXPECT_EQ(VersionValuePath(0, 0, L""), L"\\StringFileInfo\\00000000\\");
}

TEST(ProductLineTest, HasOneBlankAndNoneAfterTheV) {
    EXPECT_EQ(ProductLine(L"Cveltrix Downloader", L"1.0.0.0"), L"Cveltrix Downloader V1.0.0.0");
    EXPECT_EQ(ProductLine(L"ツール", L"2.1"), L"ツール V2.1");
}

}  // namespace
}  // namespace cveltrix
