#include "core/run_start.h"

#include "core/error_text.h"
#include "core/paths.h"

namespace cveltrix {
namespace {

void RefuseStart(MessageBoxes& window, std::uint32_t error, const std::wstring& why) {
    const CatalogueId message = RuleOf(TempFileOpenFailure(error)).message;
    window.NoteFailure(message, why + ErrorText(error));
    window.ShowMessage(message, BoxKindOf(message));
}

// A start-over must never silently resume: when the file cannot be deleted
// it is emptied instead, and when that fails too the start is refused. The
// version kept for it goes with it.
bool DiscardTempFile(MessageBoxes& window, FileSystem& files, const std::wstring& tempPath) {
    if (!files.Delete(tempPath)) {
        const auto file = files.OpenAlways(tempPath);
        if (!file || !file->TruncateTo(0)) {
            RefuseStart(window, file ? file->LastError() : files.LastError(), L"emptying " + tempPath + L": ");
            return false;
        }
    }
    files.Delete(ValidatorPathFor(tempPath));
    return true;
}

}  // namespace

bool PrepareStart(MessageBoxes& window, FileSystem& files, const std::wstring& tempPath) {
    std::optional<std::uint64_t> size;
    std::uint32_t error = 0;
    if (const auto file = files.OpenAlways(tempPath)) {
        size = file->Size();
        error = file->LastError();
    } else {
        error = files.LastError();
    }
    if (!size) {
        RefuseStart(window, error, L"temp file " + tempPath + L": ");
        return false;
    }
    if (*size == 0) return true;
    if (window.ShowMessage(msg::AskResume, BoxKind::YesNo) == kAnswerYes) return true;
    if (window.ShowMessage(msg::AskStartOver, BoxKind::YesNo) != kAnswerYes) return false;
    return DiscardTempFile(window, files, tempPath);
}

FailureKind TempFileOpenFailure(std::uint32_t error) {
    return error == kErrorSharingViolation ? FailureKind::TempFileHeld : FailureKind::TempFileUnopened;
}

}  // namespace cveltrix
