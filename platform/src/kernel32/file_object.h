// Files as kernel objects, and the error mapping shared by the file calls.
#pragma once

#include "kernel32/kernel_object.h"

#include <sys/stat.h>

#include <cstdint>
#include <string>

namespace winlayer {

// An open file: one Linux descriptor per handle, so every handle has its own position. The
// sharing rules of Windows are enforced between the handles of this process by a table of open
// files, and against other processes by an advisory flock (exclusive for share mode 0, shared
// otherwise).
class FileObject : public KernelObject {
  public:
    // Takes ownership of `fd` and of the registration `openId` (see RegisterOpenFile).
    FileObject(int fd, std::uint64_t openId, DWORD access);
    ~FileObject() override;
    FileObject(const FileObject&) = delete;
    FileObject& operator=(const FileObject&) = delete;

    int fd() const { return fd_; }
    bool canRead() const { return (access_ & (GENERIC_READ | GENERIC_ALL)) != 0; }
    bool canWrite() const { return (access_ & (GENERIC_WRITE | GENERIC_ALL)) != 0; }

  private:
    int fd_;
    std::uint64_t openId_;
    DWORD access_;
};

// Registers an open of (device, inode) with the given access and share mode in the table of
// open files and returns its id; 0 when an open handle of this process forbids it
// (ERROR_SHARING_VIOLATION).
std::uint64_t RegisterOpenFile(dev_t device, ino_t inode, DWORD access, DWORD share);
void UnregisterOpenFile(std::uint64_t openId);
// Whether an open handle of this process on the file lacks FILE_SHARE_DELETE.
bool IsOpenWithoutDeleteSharing(dev_t device, ino_t inode);
// Whether a handle or runtime file of any process on the regular file at `unixPath` lacks
// delete sharing. Other processes learn it from MarkDeleteForbidden.
bool IsOpenWithoutDeleteSharing(const std::string& unixPath);
// Records, for every process to see, that the open file behind `fd` forbids deleting and
// renaming it: an open-file-description read lock on one byte far beyond any file's end, which
// goes away with the descriptor. Needs `fd` open for reading; does nothing otherwise.
void MarkDeleteForbidden(int fd);
// Whether `unixPath` is a regular file held as above, or a folder holding one at any depth.
bool HoldsFileOpenWithoutDeleteSharing(const std::string& unixPath);

// Win32 error for an errno of a call on `unixPath`: a missing file is ERROR_FILE_NOT_FOUND when
// its folder exists and ERROR_PATH_NOT_FOUND otherwise.
DWORD ErrorFromErrno(int error, const std::string& unixPath);

// Windows has no execute bit: files the layer creates with this suffix are made executable.
bool HasExeSuffix(const std::string& unixPath);

// A file without any write permission bit is read-only (FILE_ATTRIBUTE_READONLY). Checked by
// the layer itself, so that a process running as root is refused as on Windows.
inline bool IsReadOnlyMode(mode_t mode) {
    return (mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

}  // namespace winlayer
