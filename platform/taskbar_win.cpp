#include "platform/taskbar_win.h"

namespace cveltrix::win {

UINT TaskbarList::ButtonCreatedMessage() {
    static const UINT message = ::RegisterWindowMessageW(L"TaskbarButtonCreated");
    return message;
}

void TaskbarList::Attach() {
    list_.reset();
    ITaskbarList3* list = nullptr;
    if (FAILED(::CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                  reinterpret_cast<void**>(&list)))) {
        return;
    }
    list_.reset(list);
    if (FAILED(list_->HrInit())) list_.reset();
}

void TaskbarList::SetState(TaskbarState state) {
    if (!list_) return;
    const TBPFLAG flag = state == TaskbarState::Normal  ? TBPF_NORMAL
                         : state == TaskbarState::Error ? TBPF_ERROR
                                                        : TBPF_NOPROGRESS;
    list_->SetProgressState(window_, flag);
}

void TaskbarList::SetValue(std::uint64_t done, std::uint64_t total) {
    if (list_) list_->SetProgressValue(window_, done, total);
}

void TaskbarList::Flash(bool on) {
    // Until the window comes to the foreground; stopped early when the
    // prompt that asked for it is answered.
    FLASHWINFO info{sizeof(info), window_, on ? DWORD{FLASHW_ALL | FLASHW_TIMERNOFG} : DWORD{FLASHW_STOP}, 0, 0};
    ::FlashWindowEx(&info);
}

bool TaskbarList::InForeground() const {
    DWORD process = 0;
    ::GetWindowThreadProcessId(::GetForegroundWindow(), &process);
    return process == ::GetCurrentProcessId();
}

}  // namespace cveltrix::win
