#include "core/http_headers.h"

#include <algorithm>
#include <limits>

#include "core/text_case.h"

namespace cveltrix {
namespace {

// Decimal digits of `text` from `pos` on, up to the first non-digit.
std::optional<std::uint64_t> ParseDecimal(std::wstring_view text, size_t& pos) {
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    const size_t start = pos;
    std::uint64_t value = 0;
    for (; pos < text.size() && text[pos] >= L'0' && text[pos] <= L'9'; ++pos) {
        const unsigned digit = static_cast<unsigned>(text[pos] - L'0');
        if (value > (kMax - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    if (pos == start) return std::nullopt;
    return value;
}

std::optional<std::uint64_t> ParseWholeDecimal(std::wstring_view text) {
    size_t pos = 0;
    auto value = ParseDecimal(text, pos);
    if (!value || pos != text.size()) return std::nullopt;
    return value;
}

// Blanks may stand around the commas that join repeated fields, and
// nowhere else.
std::wstring_view TrimBlanks(std::wstring_view text, bool afterComma, bool beforeComma) {
    constexpr std::wstring_view kBlanks = L" \t";
    if (afterComma) text.remove_prefix(std::min(text.find_first_not_of(kBlanks), text.size()));
    if (beforeComma) text.remove_suffix(text.size() - (text.find_last_not_of(kBlanks) + 1));
    return text;
}

}  // namespace

std::optional<std::uint64_t> ParseContentLength(const std::wstring& text) {
    std::optional<std::uint64_t> agreed;
    std::wstring_view rest = text;
    for (bool afterComma = false;; afterComma = true) {
        const size_t comma = rest.find(L',');
        const auto value =
            ParseWholeDecimal(TrimBlanks(rest.substr(0, comma), afterComma, comma != std::wstring_view::npos));
        if (!value || (agreed && *agreed != *value)) return std::nullopt;
        agreed = value;
        if (comma == std::wstring_view::npos) return agreed;
        rest.remove_prefix(comma + 1);
    }
}

std::optional<ContentRange> ParseContentRange(const std::wstring& text) {
    // The unit is a token, and tokens match without regard to case.
    static constexpr std::wstring_view kUnit = L"bytes ";
    if (!StartsWithNoCase(text, kUnit)) return std::nullopt;
    size_t pos = kUnit.size();
    ContentRange range;
    const auto first = ParseDecimal(text, pos);
    if (!first || pos >= text.size() || text[pos++] != L'-') return std::nullopt;
    const auto last = ParseDecimal(text, pos);
    if (!last || *last < *first || pos >= text.size() || text[pos++] != L'/') return std::nullopt;
    range.first = *first;
    range.last = *last;
    if (text.compare(pos, std::wstring::npos, L"*") == 0) return range;
    range.total = ParseWholeDecimal(std::wstring_view(text).substr(pos));
    if (!range.total || *range.total <= range.last) return std::nullopt;
    return range;
}

namespace {

// The text goes back to the server in a header of ours: nothing that could
// end that header or hide in it.
bool IsPlainHeaderText(const std::wstring& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](wchar_t c) { return c >= 0x20 && c < 0x7F; });
}

}  // namespace

namespace {

constexpr std::wstring_view kMonths[] = {L"Jan", L"Feb", L"Mar", L"Apr", L"May", L"Jun",
                                         L"Jul", L"Aug", L"Sep", L"Oct", L"Nov", L"Dec"};

struct DateFields {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// Exactly `text.size()` digits; a leading blank stands for a zero (asctime
// pads its day that way).
std::optional<int> FixedDigits(std::wstring_view text) {
    int value = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (c == L' ' && i == 0 && text.size() > 1) continue;
        if (c < L'0' || c > L'9') return std::nullopt;
        value = value * 10 + (c - L'0');
    }
    return value;
}

bool ReadMonth(std::wstring_view text, DateFields& fields) {
    const auto found = std::find(std::begin(kMonths), std::end(kMonths), text);
    fields.month = static_cast<int>(found - std::begin(kMonths)) + 1;
    return found != std::end(kMonths);
}

// "HH:MM:SS".
bool ReadTime(std::wstring_view text, DateFields& fields) {
    if (text.size() != 8 || text[2] != L':' || text[5] != L':') return false;
    const auto hour = FixedDigits(text.substr(0, 2)), minute = FixedDigits(text.substr(3, 2)),
               second = FixedDigits(text.substr(6, 2));
    if (!hour || !minute || !second || *hour > 23 || *minute > 59 || *second > 60) return false;
    fields.hour = *hour, fields.minute = *minute, fields.second = *second;
    return true;
}

bool ReadDayAndYear(std::wstring_view day, std::wstring_view year, DateFields& fields) {
    const auto d = FixedDigits(day), y = FixedDigits(year);
    if (!d || !y || *d < 1 || *d > 31 || year.front() == L' ') return false;
    fields.day = *d;
    fields.year = *y;
    return true;
}

// "Sun, 06 Nov 1994 08:49:37 GMT"
std::optional<DateFields> ReadImfFixdate(std::wstring_view t) {
    DateFields f;
    if (t.size() != 29 || t.substr(3, 2) != L", " || t[7] != L' ' || t[11] != L' ' || t[16] != L' ' ||
        t.substr(25) != L" GMT" || !ReadDayAndYear(t.substr(5, 2), t.substr(12, 4), f) ||
        !ReadMonth(t.substr(8, 3), f) || !ReadTime(t.substr(17, 8), f)) {
        return std::nullopt;
    }
    return f;
}

// "Sunday, 06-Nov-94 08:49:37 GMT": a two-digit year before 70 is taken
// for this century.
std::optional<DateFields> ReadRfc850(std::wstring_view t) {
    const size_t comma = t.find(L", ");
    if (comma == std::wstring_view::npos) return std::nullopt;
    t.remove_prefix(comma + 2);
    DateFields f;
    if (t.size() != 22 || t[2] != L'-' || t[6] != L'-' || t[9] != L' ' || t.substr(18) != L" GMT" ||
        !ReadDayAndYear(t.substr(0, 2), t.substr(7, 2), f) || !ReadMonth(t.substr(3, 3), f) ||
        !ReadTime(t.substr(10, 8), f)) {
        return std::nullopt;
    }
    f.year += f.year < 70 ? 2000 : 1900;
    return f;
}

// "Sun Nov  6 08:49:37 1994"
std::optional<DateFields> ReadAsctime(std::wstring_view t) {
    DateFields f;
    if (t.size() != 24 || t[3] != L' ' || t[7] != L' ' || t[10] != L' ' || t[19] != L' ' ||
        !ReadDayAndYear(t.substr(8, 2), t.substr(20, 4), f) || !ReadMonth(t.substr(4, 3), f) ||
        !ReadTime(t.substr(11, 8), f)) {
        return std::nullopt;
    }
    return f;
}

// Days from 1970-01-01 to the given date of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t year, int month, int day) {
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

}  // namespace

std::optional<std::int64_t> ParseHttpDate(std::wstring_view text) {
    auto fields = ReadImfFixdate(text);
    if (!fields) fields = ReadRfc850(text);
    if (!fields) fields = ReadAsctime(text);
    if (!fields) return std::nullopt;
    return DaysFromCivil(fields->year, fields->month, fields->day) * 86400 + fields->hour * 3600 +
           fields->minute * 60 + fields->second;
}

std::optional<std::uint64_t> ParseRetryAfter(const std::wstring& text, const std::optional<std::wstring>& date) {
    const std::wstring_view trimmed = TrimBlanks(text, true, true);
    if (const auto seconds = ParseWholeDecimal(trimmed)) return seconds;
    const auto until = ParseHttpDate(trimmed);
    const auto now = date ? ParseHttpDate(*date) : std::nullopt;
    if (!until || !now) return std::nullopt;
    return static_cast<std::uint64_t>(std::max<std::int64_t>(*until - *now, 0));
}

std::optional<std::wstring> RangeValidator(const std::optional<std::wstring>& etag,
                                           const std::optional<std::wstring>& lastModified,
                                           const std::optional<std::wstring>& date) {
    if (etag) return etag->starts_with(L'"') && IsPlainHeaderText(*etag) ? etag : std::nullopt;
    if (!lastModified || !date || !IsPlainHeaderText(*lastModified)) return std::nullopt;
    const auto modified = ParseHttpDate(*lastModified), answered = ParseHttpDate(*date);
    if (!modified || !answered || *answered < *modified + 1) return std::nullopt;
    return lastModified;
}

bool CarriesVersion(const std::wstring& kept, const std::optional<std::wstring>& etag,
                    const std::optional<std::wstring>& lastModified) {
    const auto& own = kept.starts_with(L'"') ? etag : lastModified;
    return own == kept;
}

std::wstring FileVersionText(const FileVersion& version) {
    return std::to_wstring(version.length) + L"\n" + version.validator.value_or(L"");
}

std::optional<FileVersion> ParseFileVersion(const std::wstring& text) {
    const size_t newline = text.find(L'\n');
    if (newline == std::wstring::npos) return std::nullopt;
    const auto length = ParseWholeDecimal(std::wstring_view(text).substr(0, newline));
    if (!length || *length == 0) return std::nullopt;
    FileVersion version{*length, std::nullopt};
    const std::wstring validator = text.substr(newline + 1);
    if (validator.empty()) return version;
    if (!IsPlainHeaderText(validator)) return std::nullopt;
    version.validator = validator;
    return version;
}

}  // namespace cveltrix
