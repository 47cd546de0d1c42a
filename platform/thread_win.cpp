#include "platform/thread_win.h"

#include <process.h>

namespace cveltrix::win {

std::unique_ptr<WorkerThread> WorkerThread::CreateSuspended(Body body, void* argument) {
    const uintptr_t handle = ::_beginthreadex(nullptr, 0, body, argument, CREATE_SUSPENDED, nullptr);
    if (handle == 0) return nullptr;
    return std::unique_ptr<WorkerThread>(new WorkerThread(UniqueHandle(reinterpret_cast<HANDLE>(handle))));
}

void WorkerThread::Resume() { ::ResumeThread(handle_.get()); }

}  // namespace cveltrix::win
