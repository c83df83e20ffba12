// Processes: handles on running processes, waiting for their end, ending them, exit codes.
#include "kernel32/process_object.h"

#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

namespace winlayer {
namespace {

// GetCurrentProcess returns this pseudo handle, which names the calling process in every call.
const HANDLE kCurrentProcess = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1));

bool HasEnded(int pidfd) {
    pollfd fd{pidfd, POLLIN, 0};
    return poll(&fd, 1, 0) > 0;
}

}  // namespace

DWORD WaitForPidfd(int pidfd, DWORD milliseconds) {
    if (pidfd < 0) {
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
        pollfd fd{pidfd, POLLIN, 0};
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

ProcessObject::ProcessObject(pid_t pid, int pidfd, DWORD access, std::shared_ptr<ProcessExit> exit)
    : pid_(pid), pidfd_(pidfd), access_(access), exit_(std::move(exit)) {}

ProcessObject::~ProcessObject() {
    if (pidfd_ >= 0)
        close(pidfd_);
}

DWORD ProcessObject::Wait(DWORD milliseconds) {
    // Windows lets a handle be waited on only when it was opened with SYNCHRONIZE.
    if ((access_ & SYNCHRONIZE) == 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return WAIT_FAILED;
    }
    return WaitForPidfd(pidfd_, milliseconds);
}

ProcessThreadObject::ProcessThreadObject(pid_t tid, int pidfd) : tid_(tid), pidfd_(pidfd) {}

ProcessThreadObject::~ProcessThreadObject() {
    if (pidfd_ >= 0)
        close(pidfd_);
}

DWORD ProcessThreadObject::Wait(DWORD milliseconds) {
    return WaitForPidfd(pidfd_, milliseconds);
}

void StartReaper(pid_t pid, std::shared_ptr<ProcessExit> exit) {
    {
        std::lock_guard lock(exit->mutex);
        exit->reaping = true;
    }
    std::thread([pid, exit] {
        siginfo_t info{};
        int rc;
        do {
            rc = waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED);
        } while (rc < 0 && errno == EINTR);
        std::lock_guard lock(exit->mutex);
        if (rc == 0 && info.si_code == CLD_EXITED)
            exit->exitCode = static_cast<DWORD>(info.si_status);
        else if (exit->terminateCode)
            exit->exitCode = *exit->terminateCode;
        else  // ended by a signal nobody asked for through this layer: the shell's convention
            exit->exitCode = 128 + static_cast<DWORD>(rc == 0 ? info.si_status : 0);
        exit->reaped = true;
        exit->changed.notify_all();
    }).detach();
}

}  // namespace winlayer

using namespace winlayer;

DWORD WINAPI GetCurrentProcessId() {
    return static_cast<DWORD>(getpid());
}

DWORD WINAPI GetCurrentThreadId() {
    return static_cast<DWORD>(gettid());
}

HANDLE WINAPI GetCurrentProcess() {
    return kCurrentProcess;
}

HANDLE WINAPI OpenProcess(DWORD desiredAccess, BOOL, DWORD processId) {
    if (processId == 0) {  // the idle process of Windows cannot be opened
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    int pidfd = static_cast<int>(syscall(SYS_pidfd_open, static_cast<pid_t>(processId), 0));
    if (pidfd < 0) {
        SetLastError(errno == ESRCH ? ERROR_INVALID_PARAMETER : ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return NewHandle(std::make_shared<ProcessObject>(processId, pidfd, desiredAccess));
}

DWORD WINAPI GetProcessId(HANDLE process) {
    if (process == kCurrentProcess)
        return GetCurrentProcessId();
    std::shared_ptr<ProcessObject> object = ObjectFromHandle<ProcessObject>(process);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return static_cast<DWORD>(object->pid());
}

// Ends the process at once (SIGKILL); its exit code becomes `exitCode`. Needs PROCESS_TERMINATE.
BOOL WINAPI TerminateProcess(HANDLE process, UINT exitCode) {
    if (process == kCurrentProcess)
        _exit(static_cast<int>(exitCode));
    std::shared_ptr<ProcessObject> object = ObjectFromHandle<ProcessObject>(process);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if ((object->access() & PROCESS_TERMINATE) == 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    // Windows refuses to terminate a process that has already ended.
    if (HasEnded(object->pidfd())) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    {
        std::lock_guard lock(object->exit()->mutex);
        if (!object->exit()->terminateCode)
            object->exit()->terminateCode = exitCode;
    }
    if (syscall(SYS_pidfd_send_signal, object->pidfd(), SIGKILL, nullptr, 0) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return TRUE;
}

// STILL_ACTIVE while the process runs. After its end: the status of a process this layer started,
// else the code given to TerminateProcess through this handle, else 0 (Linux keeps no exit status
// of a process that is not our child). Needs PROCESS_QUERY_(LIMITED_)INFORMATION.
BOOL WINAPI GetExitCodeProcess(HANDLE process, LPDWORD exitCode) {
    if (exitCode == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (process == kCurrentProcess) {
        *exitCode = STILL_ACTIVE;
        return TRUE;
    }
    std::shared_ptr<ProcessObject> object = ObjectFromHandle<ProcessObject>(process);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if ((object->access() & (PROCESS_QUERY_INFORMATION | PROCESS_QUERY_LIMITED_INFORMATION)) == 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (!HasEnded(object->pidfd())) {
        *exitCode = STILL_ACTIVE;
        return TRUE;
    }
    ProcessExit& exit = *object->exit();
    std::unique_lock lock(exit.mutex);
    if (exit.reaping) {
        // The process has ended; its reaper collects the status in a moment.
        exit.changed.wait(lock, [&] { return exit.reaped; });
        *exitCode = exit.exitCode;
    } else {
        *exitCode = exit.terminateCode.value_or(0);
    }
    return TRUE;
}
