// The headers that name a version of the file (ETag, Last-Modified, Date),
// as a server writes them, and the record kept beside the temp file.
#include <optional>

#include "core/http_headers.h"
#include "tests/fuzz/fuzz_support.h"

using namespace cveltrix;
using namespace cveltrix::fuzz;

namespace {

// Up to three fields, split at line breaks; an empty field stands for one
// the answer lacks.
std::optional<std::wstring> Field(std::wstring_view& text) {
    const std::size_t end = text.find(L'\n');
    const std::wstring field(text.substr(0, end));
    text.remove_prefix(end == std::wstring_view::npos ? text.size() : end + 1);
    return field.empty() ? std::nullopt : std::optional(field);
}

bool PlainText(const std::wstring& text) {
    for (wchar_t c : text) {
        if (c < 0x20 || c >= 0x7F) return false;
    }
    return !text.empty();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::wstring text = TextOf(data, size);
    std::wstring_view rest = text;
    const auto etag = Field(rest), lastModified = Field(rest), date = Field(rest);
    const auto validator = RangeValidator(etag, lastModified, date);
    if (validator) {
        Require(PlainText(*validator), "a validator goes into a header of ours: plain text only");
        if (etag) {
            Require(validator == etag && etag->starts_with(L'"'), "beside a tag only that tag, and only strong");
        } else {
            const auto modified = ParseHttpDate(*lastModified), answered = ParseHttpDate(*date);
            Require(validator == lastModified && modified && answered && *modified < *answered,
                    "without a tag only a Last-Modified a second or more before Date");
        }
        const FileVersion version{size + 1, validator};
        Require(ParseFileVersion(FileVersionText(version)) == version, "the record reads back what was kept");
    }
    if (const auto record = ParseFileVersion(text)) {
        Require(record->length > 0 && (!record->validator || PlainText(*record->validator)),
                "a record names a length and at most a plain validator");
    }
    return 0;
}
