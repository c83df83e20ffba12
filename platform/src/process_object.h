// A process as a kernel object: signalled when the process has ended.
#pragma once

#include "kernel_object.h"

#include <sys/types.h>

namespace winlayer {

class ProcessObject : public KernelObject {
  public:
    // Takes ownership of `pidfd` (a pidfd_open descriptor, or -1 when none could be had).
    ProcessObject(pid_t pid, int pidfd, DWORD access);
    ~ProcessObject() override;
    DWORD Wait(DWORD milliseconds) override;

    pid_t pid() const { return pid_; }
    int pidfd() const { return pidfd_; }
    DWORD access() const { return access_; }

  private:
    pid_t pid_;
    int pidfd_;
    DWORD access_;
};

}  // namespace winlayer
