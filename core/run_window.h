// What a download run needs from the main window, called from the worker
// thread. The boxes and the picker are asks: the run waits for the answer.
// Everything else is told: the window takes it on its own thread later, and
// the run never waits for it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/catalogue.h"

namespace cveltrix {

// Catalogue messages owned by the main window, and the line that says why
// a failure message is shown.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // Modal catalogue message; returns the button pressed (kAnswerYes for
    // Yes), or 0 when the box was not shown.
    virtual int ShowMessage(CatalogueId id, BoxKind kind) = 0;
    // Why the failure message `id` that follows is shown, in one line for
    // whoever diagnoses it (the user sees the message only); kNoMessage for
    // a failure the user is not told of.
    virtual void NoteFailure(CatalogueId id, const std::wstring& reason) = 0;
};

class RunWindow : public MessageBoxes {
public:
    // OK message, then Cancel disabled and Start and Proxy enabled.
    virtual void ReportAndRelease(CatalogueId id) = 0;
    virtual void SetProgressRange(std::uint64_t length) = 0;
    // Progress text and bar position, both repainted at once.
    virtual void ShowProgress(const std::wstring& text, std::uint64_t position) = 0;
    // The run's end, its last call: the window ends its record of the run
    // and returns to idle.
    virtual void ResetIdleControls() = 0;
    // Gives the processor away between chunks.
    virtual void YieldTime() = 0;
    // The folder picker at the desktop; nothing when the user cancels.
    virtual std::optional<std::wstring> ChooseSaveFolder() = 0;
};

}  // namespace cveltrix
