// The main window's taskbar button: progress through the shell's
// ITaskbarList3, flashing through FlashWindowEx.
#pragma once

#include <windows.h>
#include <shobjidl.h>

#include <memory>

#include "core/taskbar_progress.h"

namespace cveltrix::win {

struct ReleaseCom {
    void operator()(IUnknown* object) const { object->Release(); }
};

class TaskbarList final : public TaskbarButton {
public:
    explicit TaskbarList(HWND window) : window_(window) {}

    // The message the shell sends once the window's button exists; only then
    // may ITaskbarList3 be used (again, after the shell restarted).
    static UINT ButtonCreatedMessage();
    // Makes the shell's object for the button; on the window's thread, with
    // COM initialised there. Without it the progress calls do nothing.
    void Attach();

    void SetState(TaskbarState state) override;
    void SetValue(std::uint64_t done, std::uint64_t total) override;
    void Flash(bool on) override;
    bool InForeground() const override;

private:
    HWND window_;
    std::unique_ptr<ITaskbarList3, ReleaseCom> list_;
};

}  // namespace cveltrix::win
