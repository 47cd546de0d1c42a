// The worker thread: created suspended so it can be recorded before it runs.
#pragma once

#include <memory>

#include "platform/unique_handle_win.h"

namespace cveltrix::win {

class WorkerThread {
public:
    using Body = unsigned(__stdcall*)(void*);
    // Nothing when the thread cannot be created.
    static std::unique_ptr<WorkerThread> CreateSuspended(Body body, void* argument);
    void Resume();

private:
    explicit WorkerThread(UniqueHandle handle) : handle_(std::move(handle)) {}
    UniqueHandle handle_;
};

}  // namespace cveltrix::win
