// The header values an answer carries that the run judges it by: lengths,
// ranges, dates and the validators that name a version of the file. All of
// them come from the server, so every parser takes any text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace cveltrix {

// Parses a Content-Length value: decimal digits only, 64-bit, no overflow.
// The fields of an answer that repeats the header arrive joined by commas;
// they count only when every one is the same number.
std::optional<std::uint64_t> ParseContentLength(const std::wstring& text);

// A Content-Range value "bytes FIRST-LAST/TOTAL"; the total is unknown
// when the server writes "*".
struct ContentRange {
    std::uint64_t first = 0;
    std::uint64_t last = 0;
    std::optional<std::uint64_t> total;
    bool operator==(const ContentRange&) const = default;
};
std::optional<ContentRange> ParseContentRange(const std::wstring& text);

// Seconds since 1970-01-01 00:00:00 GMT of an HTTP-date in any of the three
// forms a recipient must accept (IMF-fixdate, RFC 850 with its two-digit
// year, asctime); nothing for any other text.
std::optional<std::int64_t> ParseHttpDate(std::wstring_view text);

// How many seconds a Retry-After value asks to wait: delta-seconds, or an
// HTTP-date taken against the answer's own Date (the server's clock, not
// this machine's). A date already past asks for none; nothing for any other
// text, or a date without the answer's Date to count from.
std::optional<std::uint64_t> ParseRetryAfter(const std::wstring& text, const std::optional<std::wstring>& date);

// What identifies the version of the file an answer carries, for If-Range:
// its strong entity tag; only when it has no tag at all, its Last-Modified
// date, and only when that date is strong, at least a second before the
// answer's Date (the file may have changed again within the second it
// names). A weak tag names no version.
std::optional<std::wstring> RangeValidator(const std::optional<std::wstring>& etag,
                                           const std::optional<std::wstring>& lastModified,
                                           const std::optional<std::wstring>& date);

// An answer carries the version `kept` names: a kept tag only when the
// answer's own tag is the same, a kept date only when its own Last-Modified
// is; an answer without that field carries another version.
bool CarriesVersion(const std::wstring& kept, const std::optional<std::wstring>& etag,
                    const std::optional<std::wstring>& lastModified);

// What the record beside a temp file keeps of the file that began it: the
// whole file's length, and its validator where it had a strong one.
struct FileVersion {
    std::uint64_t length = 0;
    std::optional<std::wstring> validator;
    bool operator==(const FileVersion&) const = default;
};
// Two lines: the length, then the validator (empty when there is none).
std::wstring FileVersionText(const FileVersion& version);
// Nothing for a text this build did not write: such a record proves nothing.
std::optional<FileVersion> ParseFileVersion(const std::wstring& text);

}  // namespace cveltrix
