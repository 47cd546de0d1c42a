#include "core/http_headers.h"

#include <gtest/gtest.h>

namespace cveltrix {
namespace {

struct ParseCase {
    std::wstring text;
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
                    ParseCase{L"18446744073709551615", 18446744073709551615ull},
                    // A field the answer repeats arrives joined by commas.
                    ParseCase{L"16384, 16384", 16384}, ParseCase{L"7,7,7", 7}));

INSTANTIATE_TEST_SUITE_P(
    Rejected, ContentLengthTest,
    testing::Values(ParseCase{L"", std::nullopt}, ParseCase{L"18446744073709551616", std::nullopt},
                    ParseCase{L"99999999999999999999999", std::nullopt}, ParseCase{L"-1", std::nullopt},
                    ParseCase{L"+5", std::nullopt}, ParseCase{L" 5", std::nullopt}, ParseCase{L"5 ", std::nullopt},
                    ParseCase{L"12a", std::nullopt}, ParseCase{L"0x10", std::nullopt},
                    ParseCase{L"1e3", std::nullopt}, ParseCase{L"\uFF15", std::nullopt},
                    ParseCase{L"16384, 8192", std::nullopt}, ParseCase{L"16384,", std::nullopt},
                    ParseCase{std::wstring(L"16\0" L"384", 6), std::nullopt}));

struct RangeCase {
    const wchar_t* text;
    std::optional<ContentRange> range;
};

class ContentRangeTest : public testing::TestWithParam<RangeCase> {};

TEST_P(ContentRangeTest, TakesFirstLastAndTotal) {
    EXPECT_EQ(ParseContentRange(GetParam().text), GetParam().range) << testing::PrintToString(GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Valid, ContentRangeTest,
    testing::Values(RangeCase{L"bytes 1000-4999/5000", ContentRange{1000, 4999, 5000}},
                    RangeCase{L"bytes 0-99/100", ContentRange{0, 99, 100}},
                    RangeCase{L"bytes 1000-4999/*", ContentRange{1000, 4999, std::nullopt}},
                    RangeCase{L"Bytes 1000-4999/5000", ContentRange{1000, 4999, 5000}},
                    RangeCase{L"BYTES 0-99/100", ContentRange{0, 99, 100}},
                    RangeCase{L"bytes 4831838208-5368709119/5368709120",
                              ContentRange{4831838208ull, 5368709119ull, 5368709120ull}}));

// "bytes */5000" is what a 416 carries: no range at all.
INSTANTIATE_TEST_SUITE_P(
    Rejected, ContentRangeTest,
    testing::Values(RangeCase{L"", std::nullopt}, RangeCase{L"bytes */5000", std::nullopt},
                    RangeCase{L"bytes -5/10", std::nullopt}, RangeCase{L"items 0-5/10", std::nullopt},
                    RangeCase{L"bytes 1000", std::nullopt}, RangeCase{L"1000-4999/5000", std::nullopt},
                    RangeCase{L"bytes 99999999999999999999-1/2", std::nullopt},
                    RangeCase{L"bytes 0-9/99999999999999999999", std::nullopt},
                    RangeCase{L"bytes 5-4/10", std::nullopt}, RangeCase{L"bytes 0-10/10", std::nullopt},
                    RangeCase{L"bytes 0-9/10x", std::nullopt}, RangeCase{L"bytes 0-9/", std::nullopt},
                    RangeCase{L"bytes 0-9", std::nullopt}));

struct ValidatorCase {
    std::optional<std::wstring> etag;
    std::optional<std::wstring> lastModified;
    std::optional<std::wstring> date;
    std::optional<std::wstring> validator;
};

class RangeValidatorTest : public testing::TestWithParam<ValidatorCase> {};

TEST_P(RangeValidatorTest, TakesAStrongTagElseAStrongDate) {
    EXPECT_EQ(RangeValidator(GetParam().etag, GetParam().lastModified, GetParam().date), GetParam().validator);
}

constexpr const wchar_t* kDate = L"Thu, 01 Jan 2026 00:00:00 GMT";
constexpr const wchar_t* kSecondLater = L"Thu, 01 Jan 2026 00:00:01 GMT";

INSTANTIATE_TEST_SUITE_P(
    Validators, RangeValidatorTest,
    testing::Values(ValidatorCase{L"\"5-a\"", kDate, kSecondLater, L"\"5-a\""},
                    ValidatorCase{L"\"5-a\"", std::nullopt, std::nullopt, L"\"5-a\""},
                    ValidatorCase{std::nullopt, kDate, kSecondLater, kDate},
                    ValidatorCase{std::nullopt, kDate, L"Thursday, 01-Jan-26 00:00:05 GMT", kDate},
                    // A weak tag names no version, and a date is never
                    // taken beside a tag.
                    ValidatorCase{L"W/\"5-a\"", kDate, kSecondLater, std::nullopt},
                    // Changed again within the second it names, or when: weak.
                    ValidatorCase{std::nullopt, kDate, kDate, std::nullopt},
                    ValidatorCase{std::nullopt, kSecondLater, kDate, std::nullopt},
                    ValidatorCase{std::nullopt, kDate, std::nullopt, std::nullopt},
                    ValidatorCase{std::nullopt, kDate, L"yesterday", std::nullopt},
                    ValidatorCase{std::nullopt, L"Thu, 01 Jan 2026", kSecondLater, std::nullopt},
                    ValidatorCase{std::nullopt, std::nullopt, kSecondLater, std::nullopt},
                    // Sent back in a header of ours: nothing that ends it.
                    ValidatorCase{L"\"a\"\r\nX: y", std::nullopt, std::nullopt, std::nullopt},
                    ValidatorCase{std::nullopt, L"", kSecondLater, std::nullopt}));

struct DateCase {
    const wchar_t* text;
    std::optional<std::int64_t> seconds;
};

class HttpDateTest : public testing::TestWithParam<DateCase> {};

TEST_P(HttpDateTest, ReadsTheThreeFormsOnly) {
    EXPECT_EQ(ParseHttpDate(GetParam().text), GetParam().seconds) << testing::PrintToString(GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Dates, HttpDateTest,
    testing::Values(DateCase{L"Sun, 06 Nov 1994 08:49:37 GMT", 784111777},
                    DateCase{L"Sunday, 06-Nov-94 08:49:37 GMT", 784111777},
                    DateCase{L"Sun Nov  6 08:49:37 1994", 784111777}, DateCase{L"Thu, 01 Jan 1970 00:00:00 GMT", 0},
                    DateCase{L"Tue, 29 Feb 2028 23:59:59 GMT", 1835481599},
                    DateCase{L"Friday, 01-Jan-27 00:00:00 GMT", 1798761600},
                    DateCase{L"Sun, 06 Nov 1994 08:49:37 UTC", std::nullopt},
                    DateCase{L"Sun, 06 Foo 1994 08:49:37 GMT", std::nullopt},
                    DateCase{L"Sun, 32 Nov 1994 08:49:37 GMT", std::nullopt},
                    DateCase{L"Sun, 06 Nov 1994 24:00:00 GMT", std::nullopt},
                    DateCase{L"Sun, 06 Nov 1994 8:49:37 GMT ", std::nullopt},
                    DateCase{L"Sun, 06 Nov 19x4 08:49:37 GMT", std::nullopt}, DateCase{L"", std::nullopt}));

struct RetryAfterCase {
    const wchar_t* text;
    std::optional<std::wstring> date;
    std::optional<std::uint64_t> seconds;
};

class RetryAfterTest : public testing::TestWithParam<RetryAfterCase> {};

TEST_P(RetryAfterTest, ReadsSecondsOrADateOfTheServersClock) {
    EXPECT_EQ(ParseRetryAfter(GetParam().text, GetParam().date), GetParam().seconds)
        << testing::PrintToString(GetParam().text);
}

const std::wstring kServerNow = L"Sun, 06 Nov 1994 08:49:37 GMT";

INSTANTIATE_TEST_SUITE_P(
    Values, RetryAfterTest,
    testing::Values(RetryAfterCase{L"120", std::nullopt, 120}, RetryAfterCase{L" 5 ", std::nullopt, 5},
                    RetryAfterCase{L"0", std::nullopt, 0},
                    RetryAfterCase{L"Sun, 06 Nov 1994 08:50:07 GMT", kServerNow, 30},
                    RetryAfterCase{L"Sunday, 06-Nov-94 08:50:37 GMT", kServerNow, 60},
                    // Already past: no wait at all.
                    RetryAfterCase{L"Sun, 06 Nov 1994 08:00:00 GMT", kServerNow, 0},
                    // A date, but nothing to count from: this machine's clock is not the server's.
                    RetryAfterCase{L"Sun, 06 Nov 1994 08:50:07 GMT", std::nullopt, std::nullopt},
                    RetryAfterCase{L"Sun, 06 Nov 1994 08:50:07 GMT", L"yesterday", std::nullopt},
                    RetryAfterCase{L"-5", std::nullopt, std::nullopt}, RetryAfterCase{L"1.5", std::nullopt, std::nullopt},
                    RetryAfterCase{L"soon", kServerNow, std::nullopt}, RetryAfterCase{L"", kServerNow, std::nullopt},
                    RetryAfterCase{L"99999999999999999999999", std::nullopt, std::nullopt}));

TEST(CarriesVersionTest, ComparesTheAnswersOwnFieldOfTheKeptKind) {
    EXPECT_TRUE(CarriesVersion(L"\"v1\"", L"\"v1\"", std::nullopt));
    EXPECT_FALSE(CarriesVersion(L"\"v1\"", L"\"v2\"", kDate));
    EXPECT_FALSE(CarriesVersion(L"\"v1\"", L"W/\"v1\"", std::nullopt));
    EXPECT_FALSE(CarriesVersion(L"\"v1\"", std::nullopt, L"\"v1\""));
    EXPECT_TRUE(CarriesVersion(kDate, L"\"v2\"", kDate));
    EXPECT_FALSE(CarriesVersion(kDate, std::nullopt, kSecondLater));
    EXPECT_FALSE(CarriesVersion(kDate, std::nullopt, std::nullopt));
}

TEST(FileVersionTest, ReadsOnlyWhatItWrote) {
    for (const FileVersion& version : {FileVersion{5000, L"\"5-a\""}, FileVersion{5000, kDate},
                                       FileVersion{1ull << 40, std::nullopt}}) {
        EXPECT_EQ(ParseFileVersion(FileVersionText(version)), version) << FileVersionText(version).size();
    }
    for (const wchar_t* text : {L"\"5-a\"", L"", L"\n\"5-a\"", L"0\n", L"12a\n", L"5000\n\"a\"\r\nX: y"}) {
        EXPECT_EQ(ParseFileVersion(text), std::nullopt) << testing::PrintToString(std::wstring(text));
    }
}

}  // namespace
}  // namespace cveltrix
