#include "core/taskbar_progress.h"

namespace cveltrix {
namespace {

// A warning box always reports a failure.
bool IsFailure(Prompt prompt) { return prompt && IconFor(*prompt) == BoxIcon::Warning; }

}  // namespace

void TaskbarProgress::TransferStarted(std::uint64_t position, std::uint64_t maximum) {
    transferring_ = true;
    position_ = position;
    maximum_ = maximum;
    Show();
}

void TaskbarProgress::Progress(std::uint64_t position) {
    if (!transferring_ || position == position_) return;
    position_ = position;
    if (openFailures_ == 0) button_.SetValue(position_, maximum_);
}

void TaskbarProgress::PromptOpening(Prompt prompt) {
    if (openPrompts_++ == 0 && !button_.InForeground()) {
        button_.Flash(true);
        flashing_ = true;
    }
    if (IsFailure(prompt) && openFailures_++ == 0) Show();
}

void TaskbarProgress::PromptClosed(Prompt prompt) {
    if (--openPrompts_ == 0 && flashing_) {
        button_.Flash(false);
        flashing_ = false;
    }
    if (IsFailure(prompt) && --openFailures_ == 0) {
        // No run goes on after a failure it reported.
        transferring_ = false;
        Show();
    }
}

void TaskbarProgress::Idle() {
    transferring_ = false;
    Show();
}

void TaskbarProgress::Show() {
    if (openFailures_ > 0) {
        // An empty red bar would show nothing: a failure before any byte
        // arrived fills it.
        const bool empty = !transferring_ || position_ == 0;
        button_.SetValue(empty ? 1 : position_, empty ? 1 : maximum_);
        button_.SetState(TaskbarState::Error);
    } else if (transferring_) {
        button_.SetValue(position_, maximum_);
        button_.SetState(TaskbarState::Normal);
    } else {
        button_.SetState(TaskbarState::None);
    }
}

}  // namespace cveltrix
