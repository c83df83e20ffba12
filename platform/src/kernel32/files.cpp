// File handles: CreateFile with its creation dispositions and share modes, reading, writing,
// size and times.
#include "kernel32/file_object.h"

#include "kernel32/codepage.h"
#include "kernel32/filetime.h"
#include "kernel32/paths.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <utility>

namespace winlayer {
namespace {

// Linux has no settable birth time: the creation time given to SetFileTime is kept in this
// extended attribute, and a file without it reports its last-write time as creation time.
constexpr const char* kCreationTimeAttribute = "user.winlayer.creation";

// The byte whose lock says "open without delete sharing"; no file grows that far.
constexpr off_t kDeleteMarkerOffset = 0x7ffffffffffffffeLL;

struct OpenFile {
    dev_t device;
    ino_t inode;
    DWORD access;
    DWORD share;
};

struct OpenFileTable {
    std::mutex mutex;
    std::map<std::uint64_t, OpenFile> files;
    std::uint64_t next = 1;
};

OpenFileTable& Table() {
    static OpenFileTable table;
    return table;
}

bool Reads(DWORD access) {
    return (access & (GENERIC_READ | GENERIC_ALL)) != 0;
}
bool Writes(DWORD access) {
    return (access & (GENERIC_WRITE | GENERIC_ALL)) != 0;
}

// Windows refuses an open when either side's access is not allowed by the other's share mode.
bool Conflicts(const OpenFile& open, DWORD access, DWORD share) {
    return (Reads(access) && !(open.share & FILE_SHARE_READ)) ||
           (Writes(access) && !(open.share & FILE_SHARE_WRITE)) ||
           (Reads(open.access) && !(share & FILE_SHARE_READ)) ||
           (Writes(open.access) && !(share & FILE_SHARE_WRITE));
}

struct Opened {
    int fd = -1;
    bool existed = false;
};

// Opens or creates the file as the disposition says; the Win32 error in *error on failure.
std::optional<Opened> OpenForDisposition(const std::string& path, DWORD access, DWORD disposition,
                                         DWORD attributes, DWORD* error) {
    // A handle that only writes still reads underneath when the file allows it, so that it can
    // carry the lock of MarkDeleteForbidden; the handle's own access is checked by the layer.
    int accessFlags = Writes(access) ? O_RDWR : O_RDONLY;
    const bool creates =
        disposition == CREATE_NEW || disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS;

    if (creates) {
        mode_t mode = HasExeSuffix(path) ? 0777 : 0666;
        int fd = open(path.c_str(), accessFlags | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0) {
            if (attributes & FILE_ATTRIBUTE_READONLY) {
                struct stat st;
                if (fstat(fd, &st) == 0)
                    fchmod(fd, st.st_mode & ~(S_IWUSR | S_IWGRP | S_IWOTH));
            }
            return Opened{fd, false};
        }
        if (errno != EEXIST) {
            *error = ErrorFromErrno(errno, path);
            return std::nullopt;
        }
        if (disposition == CREATE_NEW) {
            *error = ERROR_FILE_EXISTS;
            return std::nullopt;
        }
    }

    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        *error = ErrorFromErrno(errno, path);
        return std::nullopt;
    }
    if (S_ISDIR(st.st_mode)) {
        *error = ERROR_ACCESS_DENIED;
        return std::nullopt;
    }
    // Windows refuses to write, replace or truncate a read-only file, whoever asks.
    if (IsReadOnlyMode(st.st_mode) &&
        (Writes(access) || disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING)) {
        *error = ERROR_ACCESS_DENIED;
        return std::nullopt;
    }
    int fd = open(path.c_str(), accessFlags | O_CLOEXEC);
    if (fd < 0 && errno == EACCES && accessFlags == O_RDWR && !Reads(access))
        fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        *error = ErrorFromErrno(errno, path);
        return std::nullopt;
    }
    return Opened{fd, true};
}

}  // namespace

FileObject::FileObject(int fd, std::uint64_t openId, DWORD access)
    : fd_(fd), openId_(openId), access_(access) {}

FileObject::~FileObject() {
    close(fd_);
    UnregisterOpenFile(openId_);
}

std::uint64_t RegisterOpenFile(dev_t device, ino_t inode, DWORD access, DWORD share) {
    OpenFileTable& table = Table();
    std::lock_guard lock(table.mutex);
    if (Reads(access) || Writes(access)) {
        for (const auto& [id, open] : table.files) {
            if (open.device == device && open.inode == inode && Conflicts(open, access, share))
                return 0;
        }
    }
    std::uint64_t id = table.next++;
    table.files.emplace(id, OpenFile{device, inode, access, share});
    return id;
}

void UnregisterOpenFile(std::uint64_t openId) {
    OpenFileTable& table = Table();
    std::lock_guard lock(table.mutex);
    table.files.erase(openId);
}

bool IsOpenWithoutDeleteSharing(dev_t device, ino_t inode) {
    OpenFileTable& table = Table();
    std::lock_guard lock(table.mutex);
    for (const auto& [id, open] : table.files) {
        if (open.device == device && open.inode == inode && !(open.share & FILE_SHARE_DELETE))
            return true;
    }
    return false;
}

bool IsOpenWithoutDeleteSharing(const std::string& unixPath) {
    struct stat st;
    if (lstat(unixPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    if (IsOpenWithoutDeleteSharing(st.st_dev, st.st_ino))
        return true;
    int fd = open(unixPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct flock probe {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    probe.l_start = kDeleteMarkerOffset;
    probe.l_len = 1;
    bool held = fcntl(fd, F_OFD_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
    close(fd);
    return held;
}

void MarkDeleteForbidden(int fd) {
    struct flock marker {};
    marker.l_type = F_RDLCK;
    marker.l_whence = SEEK_SET;
    marker.l_start = kDeleteMarkerOffset;
    marker.l_len = 1;
    fcntl(fd, F_OFD_SETLK, &marker);
}

bool HoldsFileOpenWithoutDeleteSharing(const std::string& unixPath) {
    namespace fs = std::filesystem;
    std::error_code error;
    if (IsOpenWithoutDeleteSharing(unixPath))
        return true;
    if (!fs::is_directory(fs::symlink_status(unixPath, error)))
        return false;
    for (auto it = fs::recursive_directory_iterator(unixPath, error);
         it != fs::recursive_directory_iterator(); it.increment(error)) {
        if (it->is_regular_file(error) && IsOpenWithoutDeleteSharing(it->path().string()))
            return true;
    }
    return false;
}

DWORD ErrorFromErrno(int error, const std::string& unixPath) {
    switch (error) {
        case ENOENT: {
            std::string::size_type slash = unixPath.find_last_of('/');
            std::string folder = slash == 0 ? "/" : unixPath.substr(0, slash);
            struct stat st;
            bool folderExists = stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
            return folderExists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
        }
        case ENOTDIR:
            return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EISDIR:
        case EROFS:
            return ERROR_ACCESS_DENIED;
        case EEXIST:
            return ERROR_ALREADY_EXISTS;
        case ENOTEMPTY:
            return ERROR_DIR_NOT_EMPTY;
        case ENOSPC:
            return ERROR_DISK_FULL;
        case EMFILE:
        case ENFILE:
            return ERROR_TOO_MANY_OPEN_FILES;
        case ENAMETOOLONG:
            return ERROR_FILENAME_EXCED_RANGE;
        case ENOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        case EWOULDBLOCK:
            return ERROR_SHARING_VIOLATION;
        default:
            return ERROR_ACCESS_DENIED;
    }
}

bool HasExeSuffix(const std::string& unixPath) {
    return unixPath.size() >= 4 &&
           EqualsIgnoringCase(std::string_view(unixPath).substr(unixPath.size() - 4), ".exe");
}

}  // namespace winlayer

using namespace winlayer;

HANDLE WINAPI CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
                          LPSECURITY_ATTRIBUTES, DWORD creationDisposition,
                          DWORD flagsAndAttributes, HANDLE) {
    if (fileName == nullptr || creationDisposition < CREATE_NEW ||
        creationDisposition > TRUNCATE_EXISTING ||
        (creationDisposition == TRUNCATE_EXISTING && !Writes(desiredAccess))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    DWORD error = ERROR_SUCCESS;
    std::optional<std::string> path = UnixPathFromWide(fileName, &error);
    if (!path) {
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    std::optional<Opened> opened =
        OpenForDisposition(*path, desiredAccess, creationDisposition, flagsAndAttributes, &error);
    if (!opened) {
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    struct stat st;
    fstat(opened->fd, &st);
    std::uint64_t openId = RegisterOpenFile(st.st_dev, st.st_ino, desiredAccess, shareMode);
    if (openId == 0) {
        close(opened->fd);
        SetLastError(ERROR_SHARING_VIOLATION);
        return INVALID_HANDLE_VALUE;
    }
    auto file = std::make_shared<FileObject>(opened->fd, openId, desiredAccess);
    // Other processes see the share mode through an advisory lock.
    if ((Reads(desiredAccess) || Writes(desiredAccess)) &&
        flock(file->fd(), (shareMode == 0 ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return INVALID_HANDLE_VALUE;
    }
    if ((Reads(desiredAccess) || Writes(desiredAccess)) && !(shareMode & FILE_SHARE_DELETE))
        MarkDeleteForbidden(file->fd());
    if (opened->existed &&
        (creationDisposition == CREATE_ALWAYS || creationDisposition == TRUNCATE_EXISTING) &&
        truncate(path->c_str(), 0) != 0) {
        SetLastError(ErrorFromErrno(errno, *path));
        return INVALID_HANDLE_VALUE;
    }
    HANDLE handle = NewHandle(std::move(file));
    // Windows reports that CREATE_ALWAYS and OPEN_ALWAYS found an existing file.
    bool reportExisting = opened->existed && (creationDisposition == CREATE_ALWAYS ||
                                              creationDisposition == OPEN_ALWAYS);
    SetLastError(reportExisting ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

HANDLE WINAPI CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                          LPSECURITY_ATTRIBUTES security, DWORD creationDisposition,
                          DWORD flagsAndAttributes, HANDLE templateFile) {
    if (fileName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::u16string wide = WideFromAnsi(fileName);
    return CreateFileW(wide.c_str(), desiredAccess, shareMode, security, creationDisposition,
                       flagsAndAttributes, templateFile);
}

BOOL WINAPI ReadFile(HANDLE handle, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
                     void* overlapped) {
    if (bytesRead)
        *bytesRead = 0;
    std::shared_ptr<FileObject> file = ObjectFromHandle<FileObject>(handle);
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (overlapped != nullptr || bytesRead == nullptr || (buffer == nullptr && bytesToRead > 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!file->canRead()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    DWORD done = 0;
    while (done < bytesToRead) {
        ssize_t n = read(file->fd(), static_cast<char*>(buffer) + done, bytesToRead - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            *bytesRead = done;
            SetLastError(ErrorFromErrno(errno, ""));
            return FALSE;
        }
        if (n == 0)
            break;  // end of file: success with fewer bytes
        done += static_cast<DWORD>(n);
    }
    *bytesRead = done;
    return TRUE;
}

BOOL WINAPI WriteFile(HANDLE handle, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
                      void* overlapped) {
    if (bytesWritten)
        *bytesWritten = 0;
    std::shared_ptr<FileObject> file = ObjectFromHandle<FileObject>(handle);
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (overlapped != nullptr || bytesWritten == nullptr ||
        (buffer == nullptr && bytesToWrite > 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!file->canWrite()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    DWORD done = 0;
    while (done < bytesToWrite) {
        ssize_t n = write(file->fd(), static_cast<const char*>(buffer) + done, bytesToWrite - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *bytesWritten = done;
            SetLastError(n < 0 ? ErrorFromErrno(errno, "") : ERROR_DISK_FULL);
            return FALSE;
        }
        done += static_cast<DWORD>(n);
    }
    *bytesWritten = done;
    return TRUE;
}

DWORD WINAPI GetFileSize(HANDLE handle, LPDWORD fileSizeHigh) {
    std::shared_ptr<FileObject> file = ObjectFromHandle<FileObject>(handle);
    struct stat st;
    if (!file || fstat(file->fd(), &st) != 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_FILE_SIZE;
    }
    ULONGLONG size = static_cast<ULONGLONG>(st.st_size);
    if (fileSizeHigh)
        *fileSizeHigh = static_cast<DWORD>(size >> 32);
    // A low part equal to INVALID_FILE_SIZE is told apart from failure by the last error.
    if (static_cast<DWORD>(size) == INVALID_FILE_SIZE)
        SetLastError(NO_ERROR);
    return static_cast<DWORD>(size);
}

BOOL WINAPI GetFileTime(HANDLE handle, LPFILETIME creationTime, LPFILETIME lastAccessTime,
                        LPFILETIME lastWriteTime) {
    std::shared_ptr<FileObject> file = ObjectFromHandle<FileObject>(handle);
    struct stat st;
    if (!file || fstat(file->fd(), &st) != 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (creationTime) {
        ULONGLONG stored = 0;
        ssize_t n = fgetxattr(file->fd(), kCreationTimeAttribute, &stored, sizeof stored);
        *creationTime = FileTimeOf(n == sizeof stored ? stored : TicksFromTimespec(st.st_mtim));
    }
    if (lastAccessTime)
        *lastAccessTime = FileTimeOf(TicksFromTimespec(st.st_atim));
    if (lastWriteTime)
        *lastWriteTime = FileTimeOf(TicksFromTimespec(st.st_mtim));
    return TRUE;
}

BOOL WINAPI SetFileTime(HANDLE handle, const FILETIME* creationTime, const FILETIME* lastAccessTime,
                        const FILETIME* lastWriteTime) {
    std::shared_ptr<FileObject> file = ObjectFromHandle<FileObject>(handle);
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!file->canWrite()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    timespec times[2] = {{0, UTIME_OMIT}, {0, UTIME_OMIT}};
    if (lastAccessTime)
        times[0] = TimespecFromTicks(TicksOf(*lastAccessTime));
    if (lastWriteTime)
        times[1] = TimespecFromTicks(TicksOf(*lastWriteTime));
    if (futimens(file->fd(), times) != 0) {
        SetLastError(ErrorFromErrno(errno, ""));
        return FALSE;
    }
    if (creationTime) {
        ULONGLONG ticks = TicksOf(*creationTime);
        // A file system without user attributes keeps no creation time; it then reads back as
        // the last-write time.
        fsetxattr(file->fd(), kCreationTimeAttribute, &ticks, sizeof ticks, 0);
    }
    return TRUE;
}
