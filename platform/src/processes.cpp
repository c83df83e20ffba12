// Processes: handles on running processes, waiting for their end.
#include "process_object.h"

#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace winlayer {

ProcessObject::ProcessObject(pid_t pid, int pidfd, DWORD access)
    : pid_(pid), pidfd_(pidfd), access_(access) {}

ProcessObject::~ProcessObject() {
    if (pidfd_ >= 0)
        close(pidfd_);
}

DWORD ProcessObject::Wait(DWORD milliseconds) {
    if (pidfd_ < 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    // A pidfd becomes readable when the process has ended.
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        int timeout = -1;
        if (milliseconds != INFINITE) {
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            timeout = left.count() < 0 ? 0 : static_cast<int>(left.count());
        }
        pollfd fd{pidfd_, POLLIN, 0};
        int rc = poll(&fd, 1, timeout);
        if (rc > 0)
            return WAIT_OBJECT_0;
        if (rc == 0)
            return WAIT_TIMEOUT;
        if (errno != EINTR) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
    }
}

}  // namespace winlayer

using namespace winlayer;

DWORD WINAPI GetCurrentProcessId() {
    return static_cast<DWORD>(getpid());
}

DWORD WINAPI GetCurrentThreadId() {
    return static_cast<DWORD>(gettid());
}

HANDLE WINAPI OpenProcess(DWORD desiredAccess, BOOL, DWORD processId) {
    int pidfd = static_cast<int>(syscall(SYS_pidfd_open, static_cast<pid_t>(processId), 0));
    if (pidfd < 0) {
        SetLastError(errno == ESRCH ? ERROR_INVALID_PARAMETER : ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return NewHandle(std::make_shared<ProcessObject>(processId, pidfd, desiredAccess));
}
