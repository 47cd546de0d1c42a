#include "core/long_path.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace cveltrix {
namespace {

// A path of exactly `size` characters below `root`.
std::wstring PathOfSize(const std::wstring& root, size_t size) {
    return root + std::wstring(size - root.size() - 4, L'd') + L".exe";
}

TEST(ExtendedLengthPathTest, LeavesPathsThatFitTheClassicLimitAlone) {
    const std::wstring path = PathOfSize(L"C:\\Tools\\", 247);
    EXPECT_EQ(ExtendedLengthPath(path), path);
    EXPECT_EQ(ExtendedLengthPath(L"D:\\\\Setup.exe"), L"D:\\\\Setup.exe");
}

TEST(ExtendedLengthPathTest, PrefixesLongDrivePaths) {
    const std::wstring path = PathOfSize(L"C:\\Tools\\", 248);
    EXPECT_EQ(ExtendedLengthPath(path), L"\\\\?\\" + path);
    const std::wstring deep = PathOfSize(L"C:\\Tools\\", 1000);
    EXPECT_EQ(ExtendedLengthPath(deep), L"\\\\?\\" + deep);
}

TEST(ExtendedLengthPathTest, PrefixesLongUncPathsWithTheUncForm) {
    const std::wstring path = PathOfSize(L"\\\\server\\share\\", 300);
    EXPECT_EQ(ExtendedLengthPath(path), L"\\\\?\\UNC\\" + path.substr(2));
}

TEST(ExtendedLengthPathTest, TurnsForwardSlashesIntoBackslashesWhenPrefixing) {
    // With the prefix the system no longer tidies separators itself.
    const std::wstring mixed = PathOfSize(L"C:\\Tools/deep/", 300);
    std::wstring expected = mixed;
    std::replace(expected.begin(), expected.end(), L'/', L'\\');
    EXPECT_EQ(ExtendedLengthPath(mixed), L"\\\\?\\" + expected);
}

TEST(ExtendedLengthPathTest, KeepsPrefixedAndRelativeLongPathsUnchanged) {
    const std::wstring prefixed = L"\\\\?\\" + PathOfSize(L"C:\\Tools\\", 300);
    EXPECT_EQ(ExtendedLengthPath(prefixed), prefixed);
    const std::wstring relative = PathOfSize(L"Tools\\", 300);
    EXPECT_EQ(ExtendedLengthPath(relative), relative);
}

}  // namespace
}  // namespace cveltrix
