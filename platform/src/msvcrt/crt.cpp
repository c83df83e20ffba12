// The Microsoft C runtime calls that take Windows paths or the Windows environment.
#include "kernel32/file_object.h"

#include "kernel32/paths.h"

#include <share.h>

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <string>

using namespace winlayer;

namespace {

// The Linux fopen mode of a runtime mode: "r", "w" or "a", then '+' when given. 'b' and 't' are
// accepted; text mode is not translated here (files keep the bytes written). Null when invalid.
std::optional<std::string> LinuxMode(const char* mode) {
    if (mode[0] != 'r' && mode[0] != 'w' && mode[0] != 'a')
        return std::nullopt;
    bool plus = false;
    bool binaryOrText = false;
    for (const char* c = mode + 1; *c && *c != ','; ++c) {
        switch (*c) {
            case '+':
                if (plus)
                    return std::nullopt;
                plus = true;
                break;
            case 'b':
            case 't':
                if (binaryOrText)
                    return std::nullopt;
                binaryOrText = true;
                break;
            case 'c':  // commit, no-commit, sequential, random, temporary, delete-on-close
            case 'n':
            case 'N':
            case 'S':
            case 'R':
            case 'T':
            case 'D':
            case ' ':
                break;
            default:
                return std::nullopt;
        }
    }
    std::string result(1, mode[0]);
    if (plus)
        result += '+';
    return result + "e";  // close on exec: handles are not inherited by started programs
}

std::optional<std::string> MapPath(const char* windowsPath) {
    DWORD error = ERROR_SUCCESS;
    return UnixPathFromAnsi(windowsPath, &error);
}

}  // namespace

namespace {

// Opens a runtime file. The descriptor reads underneath whenever the file allows it, so that it
// carries the mark that the runtime's files forbid deletion and renaming while open (Windows
// opens them without FILE_SHARE_DELETE); the FILE itself has the access of `mode`.
errno_t OpenRuntimeFile(FILE** file, const char* fileName, const char* mode) {
    if (file == nullptr)
        return EINVAL;
    *file = nullptr;
    if (fileName == nullptr || mode == nullptr)
        return EINVAL;
    std::optional<std::string> linuxMode = LinuxMode(mode);
    if (!linuxMode)
        return EINVAL;
    std::optional<std::string> path = MapPath(fileName);
    if (!path)
        return ENOENT;
    const bool plus = linuxMode->find('+') != std::string::npos;
    const bool writes = (*linuxMode)[0] != 'r' || plus;
    struct stat st;
    const bool existed = stat(path->c_str(), &st) == 0;
    // The runtime refuses folders, and writing to read-only files even for an administrator.
    if (existed && (S_ISDIR(st.st_mode) || (writes && IsReadOnlyMode(st.st_mode))))
        return EACCES;
    int flags = O_CLOEXEC;
    if ((*linuxMode)[0] == 'w')
        flags |= O_CREAT | O_TRUNC;
    else if ((*linuxMode)[0] == 'a')
        flags |= O_CREAT | O_APPEND;
    const mode_t permissions = HasExeSuffix(*path) ? 0777 : 0666;
    int fd = open(path->c_str(), flags | (writes ? O_RDWR : O_RDONLY), permissions);
    if (fd < 0 && errno == EACCES && writes && !plus)
        fd = open(path->c_str(), flags | O_WRONLY, permissions);
    if (fd < 0)
        return errno;
    MarkDeleteForbidden(fd);
    std::string fdMode = linuxMode->substr(0, plus ? 2 : 1);
    FILE* opened = fdopen(fd, fdMode.c_str());
    if (opened == nullptr) {
        int error = errno;
        close(fd);
        return error;
    }
    *file = opened;
    return 0;
}

}  // namespace

errno_t fopen_s(FILE** file, const char* fileName, const char* mode) {
    return OpenRuntimeFile(file, fileName, mode);
}

FILE* _fsopen(const char* fileName, const char* mode, int shareFlag) {
    if (shareFlag != _SH_DENYRW && shareFlag != _SH_DENYWR && shareFlag != _SH_DENYRD &&
        shareFlag != _SH_DENYNO) {
        errno = EINVAL;
        return nullptr;
    }
    FILE* file = nullptr;
    errno_t error = OpenRuntimeFile(&file, fileName, mode);
    if (error != 0)
        errno = error;
    return file;
}

int _fseeki64(FILE* file, long long offset, int origin) {
    return fseeko(file, static_cast<off_t>(offset), origin);
}

long long _ftelli64(FILE* file) {
    return static_cast<long long>(ftello(file));
}

long long _atoi64(const char* text) {
    // strtoll skips white space, takes a sign and saturates out of range, as _atoi64 does.
    return std::strtoll(text, nullptr, 10);
}

int _access(const char* path, int mode) {
    if (path == nullptr || (mode & ~6) != 0) {
        errno = EINVAL;
        return -1;
    }
    std::optional<std::string> unixPath = MapPath(path);
    struct stat st;
    if (!unixPath || stat(unixPath->c_str(), &st) != 0) {
        errno = ENOENT;
        return -1;
    }
    if ((mode & 2) && S_ISREG(st.st_mode) && IsReadOnlyMode(st.st_mode)) {
        errno = EACCES;
        return -1;
    }
    return 0;
}

int _windows_rename(const char* oldName, const char* newName) {
    if (oldName == nullptr || newName == nullptr) {
        errno = EINVAL;
        return -1;
    }
    std::optional<std::string> from = MapPath(oldName);
    std::optional<std::string> to = MapPath(newName);
    struct stat st;
    if (!from || lstat(from->c_str(), &st) != 0) {
        errno = ENOENT;
        return -1;
    }
    if (!to) {
        errno = EACCES;
        return -1;
    }
    // Windows cannot rename a file that a handle keeps open without FILE_SHARE_DELETE, nor a
    // folder holding such a file, whichever process holds it.
    if ((S_ISREG(st.st_mode) || S_ISDIR(st.st_mode)) && HoldsFileOpenWithoutDeleteSharing(*from)) {
        errno = EACCES;
        return -1;
    }
    // The runtime never replaces: an existing target fails with EACCES.
    if (renameat2(AT_FDCWD, from->c_str(), AT_FDCWD, to->c_str(), RENAME_NOREPLACE) != 0) {
        int error = errno;
        if (error == EINVAL || error == ENOSYS) {  // a file system without RENAME_NOREPLACE
            if (lstat(to->c_str(), &st) == 0) {
                errno = EACCES;
                return -1;
            }
            if (renameat(AT_FDCWD, from->c_str(), AT_FDCWD, to->c_str()) == 0)
                return 0;
            error = errno;
        }
        errno = (error == EEXIST || error == ENOTEMPTY || error == ENOENT || error == ENOTDIR)
                    ? EACCES
                    : error;
        return -1;
    }
    return 0;
}
