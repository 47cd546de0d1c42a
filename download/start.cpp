#include "download/worker.h"

namespace cveltrix {
namespace {

// A start-over must never silently resume: when the file cannot be deleted
// it is emptied instead, and when that fails too the start is refused.
bool DiscardTempFile(RunWindow& window, FileSystem& files, const std::wstring& tempPath) {
    if (files.Delete(tempPath)) return true;
    const auto file = files.OpenAlways(tempPath);
    if (file && file->Truncate()) return true;
    window.ShowMessage(msg::CreateFailed, BoxKind::Ok);
    return false;
}

}  // namespace

bool PrepareStart(RunWindow& window, FileSystem& files, const std::wstring& tempPath) {
    std::optional<std::uint64_t> size;
    if (const auto file = files.OpenAlways(tempPath)) size = file->Size();
    if (!size) {
        window.ShowMessage(msg::CreateFailed, BoxKind::Ok);
        return false;
    }
    if (*size == 0) return true;
    if (window.ShowMessage(msg::AskResume, BoxKind::YesNo) == kAnswerYes) return true;
    if (window.ShowMessage(msg::AskStartOver, BoxKind::YesNo) != kAnswerYes) return false;
    return DiscardTempFile(window, files, tempPath);
}

}  // namespace cveltrix
