// A process as a kernel object: signalled when the process has ended.
#pragma once

#include "kernel32/kernel_object.h"

#include <sys/types.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>

namespace winlayer {

// What is known of a process's end. Shared by every handle of a process this layer started and
// by the thread that reaps it, so that its exit code stays readable after it is gone.
struct ProcessExit {
    std::mutex mutex;
    std::condition_variable changed;
    bool reaped = false;                 // the reaper has collected the exit status
    bool reaping = false;                // a reaper thread exists for this process
    std::optional<DWORD> terminateCode;  // the code given to TerminateProcess
    DWORD exitCode = 0;                  // valid once reaped
};

class ProcessObject : public KernelObject {
  public:
    // Takes ownership of `pidfd` (a pidfd_open descriptor, or -1 when none could be had).
    ProcessObject(pid_t pid, int pidfd, DWORD access,
                  std::shared_ptr<ProcessExit> exit = std::make_shared<ProcessExit>());
    ~ProcessObject() override;
    DWORD Wait(DWORD milliseconds) override;

    pid_t pid() const { return pid_; }
    int pidfd() const { return pidfd_; }
    DWORD access() const { return access_; }
    const std::shared_ptr<ProcessExit>& exit() const { return exit_; }

  private:
    pid_t pid_;
    int pidfd_;
    DWORD access_;
    std::shared_ptr<ProcessExit> exit_;
};

// The main thread of a process this layer started: signalled when the process has ended.
class ProcessThreadObject : public KernelObject {
  public:
    ProcessThreadObject(pid_t tid, int pidfd);
    ~ProcessThreadObject() override;
    DWORD Wait(DWORD milliseconds) override;

  private:
    pid_t tid_;
    int pidfd_;
};

// Waits until the pidfd is readable (the process has ended); WAIT_OBJECT_0, WAIT_TIMEOUT or
// WAIT_FAILED with the last error set.
DWORD WaitForPidfd(int pidfd, DWORD milliseconds);

// Starts a thread that collects the exit status of `pid`, a child of this process, so that it
// never lingers as a zombie; the status lands in `exit`.
void StartReaper(pid_t pid, std::shared_ptr<ProcessExit> exit);

}  // namespace winlayer
