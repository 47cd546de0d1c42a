// What the main window's taskbar button shows of a run: the progress of a
// transfer, the error state while a failure is reported, nothing while
// idle; and a flashing button when the run asks something of a user who is
// working in another program. Decided here from what the window is told;
// the platform only draws it.
#pragma once

#include <cstdint>
#include <optional>

#include "core/catalogue.h"

namespace cveltrix {

enum class TaskbarState { None, Normal, Error };

// The window's taskbar button.
class TaskbarButton {
public:
    virtual ~TaskbarButton() = default;
    virtual void SetState(TaskbarState state) = 0;
    virtual void SetValue(std::uint64_t done, std::uint64_t total) = 0;
    // Starts flashing the button until the user comes back, or stops it.
    virtual void Flash(bool on) = 0;
    // The user is working in this program's windows right now.
    virtual bool InForeground() const = 0;
};

// A message box of the given kind, or the folder picker when empty.
using Prompt = std::optional<BoxKind>;

class TaskbarProgress {
public:
    explicit TaskbarProgress(TaskbarButton& button) : button_(button) {}

    // The progress bar got its range: a transfer begins at `position`.
    void TransferStarted(std::uint64_t position, std::uint64_t maximum);
    // The progress bar moved.
    void Progress(std::uint64_t position);
    void PromptOpening(Prompt prompt);
    void PromptClosed(Prompt prompt);
    // The window is back to idle.
    void Idle();
    // The button was made anew (the shell started or restarted).
    void Reapply() { Show(); }

private:
    void Show();

    TaskbarButton& button_;
    bool transferring_ = false;
    std::uint64_t position_ = 0;
    std::uint64_t maximum_ = 0;
    int openPrompts_ = 0;
    int openFailures_ = 0;
    bool flashing_ = false;
};

}  // namespace cveltrix
