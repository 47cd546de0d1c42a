// What a download run needs from the main window. The window's own thread
// keeps pumping messages while the run calls these from the worker thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "resources/catalogue.h"

namespace cveltrix {

class RunWindow {
public:
    virtual ~RunWindow() = default;
    // Modal catalogue message owned by the main window; returns the button
    // pressed (IDYES is 6).
    virtual int ShowMessage(CatalogueId id, BoxKind kind) = 0;
    // OK message, then Cancel disabled and Start and Proxy enabled.
    virtual void ReportAndRelease(CatalogueId id) = 0;
    virtual void SetProgressRange(std::uint64_t length) = 0;
    // Progress text and bar position, both repainted at once.
    virtual void ShowProgress(const std::wstring& text, std::uint64_t position) = 0;
    // Idle controls, cancel flag cleared, worker record cleared.
    virtual void ResetIdleControls() = 0;
    // Gives the processor away between chunks.
    virtual void YieldTime() = 0;
    // The folder picker at the desktop; nothing when the user cancels.
    virtual std::optional<std::wstring> ChooseSaveFolder() = 0;
    // Why the failure message `id` that follows is shown, in one line for
    // whoever diagnoses it (the user sees the message only); kNoMessage for
    // a failure the user is not told of.
    virtual void NoteFailure(CatalogueId id, const std::wstring& reason) = 0;
};

inline constexpr int kAnswerYes = 6;
inline constexpr CatalogueId kNoMessage = 0;

}  // namespace cveltrix
