// Threads of the runtime's _beginthreadex: waitable kernel objects in the handle table.
#include "kernel32/kernel_object.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace winlayer {
namespace {

class ThreadObject : public KernelObject {
  public:
    DWORD Wait(DWORD milliseconds) override {
        std::unique_lock lock(mutex_);
        auto ended = [this] { return ended_; };
        if (milliseconds == INFINITE) {
            cv_.wait(lock, ended);
            return WAIT_OBJECT_0;
        }
        return cv_.wait_for(lock, std::chrono::milliseconds(milliseconds), ended) ? WAIT_OBJECT_0
                                                                                  : WAIT_TIMEOUT;
    }

    void Started(DWORD threadId) {
        std::lock_guard lock(mutex_);
        threadId_ = threadId;
        cv_.notify_all();
    }

    DWORD WaitUntilStarted() {
        std::unique_lock lock(mutex_);
        cv_.wait(lock, [this] { return threadId_ != 0; });
        return threadId_;
    }

    // STILL_ACTIVE while the thread runs.
    DWORD ExitCode() {
        std::lock_guard lock(mutex_);
        return exitCode_;
    }

    void Ended(unsigned exitCode) {
        std::lock_guard lock(mutex_);
        exitCode_ = exitCode;
        ended_ = true;
        cv_.notify_all();
    }

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    DWORD threadId_ = 0;
    bool ended_ = false;
    unsigned exitCode_ = STILL_ACTIVE;
};

}  // namespace
}  // namespace winlayer

using namespace winlayer;

uintptr_t _beginthreadex(void*, unsigned, _beginthreadex_proc_type start, void* arglist,
                         unsigned initflag, unsigned* threadId) {
    if (start == nullptr || initflag != 0) {
        errno = EINVAL;
        return 0;
    }
    // Tests make the system refuse new threads, as a process at its limit sees it.
    if (std::getenv("WINLAYER_NO_NEW_THREADS")) {
        errno = EAGAIN;
        return 0;
    }
    auto thread = std::make_shared<ThreadObject>();
    try {
        // The thread keeps its object alive; the handle may be closed while it runs.
        std::thread([thread, start, arglist] {
            thread->Started(static_cast<DWORD>(gettid()));
            thread->Ended(start(arglist));
        }).detach();
    } catch (const std::system_error&) {
        errno = EAGAIN;
        return 0;
    }
    DWORD id = thread->WaitUntilStarted();
    if (threadId)
        *threadId = id;
    return reinterpret_cast<uintptr_t>(NewHandle(std::move(thread)));
}

BOOL WINAPI GetExitCodeThread(HANDLE thread, LPDWORD exitCode) {
    if (exitCode == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::shared_ptr<ThreadObject> object = ObjectFromHandle<ThreadObject>(thread);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *exitCode = object->ExitCode();
    return TRUE;
}
