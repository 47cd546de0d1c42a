#include "download/http.h"

#include <gtest/gtest.h>

namespace cveltrix {
namespace {

struct ParseCase {
    const wchar_t* text;
    std::optional<std::uint64_t> value;
};

class ContentLengthTest : public testing::TestWithParam<ParseCase> {};

TEST_P(ContentLengthTest, TakesDecimalDigitsOnlyInSixtyFourBits) {
    EXPECT_EQ(ParseContentLength(GetParam().text), GetParam().value) << testing::PrintToString(GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Valid, ContentLengthTest,
    testing::Values(ParseCase{L"0", 0}, ParseCase{L"5000", 5000}, ParseCase{L"007", 7},
                    ParseCase{L"4294967296", 4294967296ull}, ParseCase{L"5368709120", 5368709120ull},
                    ParseCase{L"18446744073709551615", 18446744073709551615ull}));

INSTANTIATE_TEST_SUITE_P(
    Rejected, ContentLengthTest,
    testing::Values(ParseCase{L"", std::nullopt}, ParseCase{L"18446744073709551616", std::nullopt},
                    ParseCase{L"99999999999999999999999", std::nullopt}, ParseCase{L"-1", std::nullopt},
                    ParseCase{L"+5", std::nullopt}, ParseCase{L" 5", std::nullopt}, ParseCase{L"5 ", std::nullopt},
                    ParseCase{L"12a", std::nullopt}, ParseCase{L"0x10", std::nullopt},
                    ParseCase{L"1e3", std::nullopt}, ParseCase{L"\uFF15", std::nullopt}));

class ContentRangeStartTest : public testing::TestWithParam<ParseCase> {};

TEST_P(ContentRangeStartTest, TakesTheFirstByteOfTheRange) {
    EXPECT_EQ(ParseContentRangeStart(GetParam().text), GetParam().value) << testing::PrintToString(GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Valid, ContentRangeStartTest,
    testing::Values(ParseCase{L"bytes 1000-4999/5000", 1000}, ParseCase{L"bytes 0-99/100", 0},
                    ParseCase{L"bytes 1000-4999/*", 1000},
                    ParseCase{L"bytes 4831838208-5368709119/5368709120", 4831838208ull}));

// "bytes */5000" is what a 416 carries: no range at all.
INSTANTIATE_TEST_SUITE_P(
    Rejected, ContentRangeStartTest,
    testing::Values(ParseCase{L"", std::nullopt}, ParseCase{L"bytes */5000", std::nullopt},
                    ParseCase{L"bytes -5/10", std::nullopt}, ParseCase{L"items 0-5/10", std::nullopt},
                    ParseCase{L"bytes 1000", std::nullopt}, ParseCase{L"1000-4999/5000", std::nullopt},
                    ParseCase{L"bytes 99999999999999999999-1/2", std::nullopt}));

struct LocationCase {
    const wchar_t* location;
    std::optional<std::wstring> resolved;
};

class ResolveLocationTest : public testing::TestWithParam<LocationCase> {};

TEST_P(ResolveLocationTest, ReadsTheLocationAgainstTheUrlAsked) {
    EXPECT_EQ(ResolveLocation(L"http://a.example:8080/dl/043/setup.exe?x=1", GetParam().location),
              GetParam().resolved)
        << testing::PrintToString(GetParam().location);
}

INSTANTIATE_TEST_SUITE_P(
    Locations, ResolveLocationTest,
    testing::Values(LocationCase{L"https://b.example/f.exe", L"https://b.example/f.exe"},
                    LocationCase{L"HTTP://b.example/f.exe", L"HTTP://b.example/f.exe"},
                    LocationCase{L"//b.example/f.exe", L"http://b.example/f.exe"},
                    LocationCase{L"/mirror/f.exe", L"http://a.example:8080/mirror/f.exe"},
                    LocationCase{L"f2.exe", L"http://a.example:8080/dl/043/f2.exe"},
                    LocationCase{L"ftp://b.example/f.exe", std::nullopt},
                    LocationCase{L"javascript:alert(1)", std::nullopt}));

TEST(ResolveLocationTest, ARelativeNameAtTheRootOfAHost) {
    EXPECT_EQ(ResolveLocation(L"http://a.example", L"f.exe"), L"http://a.example/f.exe");
}

}  // namespace
}  // namespace cveltrix
