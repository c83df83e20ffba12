// Folders, file deletion, attributes and full path names.
#include "kernel32/file_object.h"

#include "kernel32/codepage.h"
#include "kernel32/paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

using namespace winlayer;

namespace {

std::optional<std::string> PathOrFail(const char* ansi) {
    DWORD error = ERROR_SUCCESS;
    std::optional<std::string> path = UnixPathFromAnsi(ansi, &error);
    if (!path)
        SetLastError(error);
    return path;
}

std::optional<std::string> PathOrFail(const WCHAR* wide) {
    DWORD error = ERROR_SUCCESS;
    std::optional<std::string> path = UnixPathFromWide(wide, &error);
    if (!path)
        SetLastError(error);
    return path;
}

BOOL CreateDirectoryAt(const std::optional<std::string>& path) {
    if (!path)
        return FALSE;
    if (mkdir(path->c_str(), 0777) != 0) {
        SetLastError(ErrorFromErrno(errno, *path));
        return FALSE;
    }
    return TRUE;
}

DWORD AttributesAt(const std::optional<std::string>& path) {
    if (!path)
        return INVALID_FILE_ATTRIBUTES;
    struct stat st;
    if (stat(path->c_str(), &st) != 0) {
        SetLastError(ErrorFromErrno(errno, *path));
        return INVALID_FILE_ATTRIBUTES;
    }
    if (S_ISDIR(st.st_mode))
        return FILE_ATTRIBUTE_DIRECTORY;
    // A file as NTFS makes it: marked for archiving, and read-only without write permission.
    DWORD attributes = FILE_ATTRIBUTE_ARCHIVE;
    if (IsReadOnlyMode(st.st_mode))
        attributes |= FILE_ATTRIBUTE_READONLY;
    return attributes;
}

// GetFullPathName's buffer rule: the length without NUL when it fits, else the size needed
// with the NUL; filePart points at the last name, or is null when the path ends in a separator.
template <class Char>
DWORD CopyFullPath(const std::basic_string<Char>& full, DWORD bufferLength, Char* buffer,
                   Char** filePart) {
    if (full.size() + 1 > bufferLength || buffer == nullptr)
        return static_cast<DWORD>(full.size() + 1);
    std::memcpy(buffer, full.c_str(), (full.size() + 1) * sizeof(Char));
    if (filePart) {
        size_t slash = full.find_last_of(static_cast<Char>('\\'));
        *filePart = (slash == full.size() - 1) ? nullptr : buffer + slash + 1;
    }
    return static_cast<DWORD>(full.size());
}

std::optional<std::string> FullPathUtf8(const std::string& utf8) {
    DWORD error = ERROR_SUCCESS;
    std::optional<std::string> full = FullWindowsPath(utf8, &error);
    if (!full)
        SetLastError(error);
    return full;
}

}  // namespace

BOOL WINAPI CreateDirectoryW(LPCWSTR pathName, LPSECURITY_ATTRIBUTES) {
    return CreateDirectoryAt(PathOrFail(pathName));
}

BOOL WINAPI CreateDirectoryA(LPCSTR pathName, LPSECURITY_ATTRIBUTES) {
    return CreateDirectoryAt(PathOrFail(pathName));
}

BOOL WINAPI RemoveDirectoryA(LPCSTR pathName) {
    std::optional<std::string> path = PathOrFail(pathName);
    if (!path)
        return FALSE;
    if (rmdir(path->c_str()) != 0) {
        // Windows names a file given to RemoveDirectory "not a directory".
        SetLastError(errno == ENOTDIR ? ERROR_DIRECTORY : ErrorFromErrno(errno, *path));
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI DeleteFileA(LPCSTR fileName) {
    std::optional<std::string> path = PathOrFail(fileName);
    if (!path)
        return FALSE;
    struct stat st;
    if (lstat(path->c_str(), &st) != 0) {
        SetLastError(ErrorFromErrno(errno, *path));
        return FALSE;
    }
    // Windows refuses to delete folders and read-only files with DeleteFile.
    if (S_ISDIR(st.st_mode) || (S_ISREG(st.st_mode) && IsReadOnlyMode(st.st_mode))) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (IsOpenWithoutDeleteSharing(*path)) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return FALSE;
    }
    if (unlink(path->c_str()) != 0) {
        SetLastError(ErrorFromErrno(errno, *path));
        return FALSE;
    }
    return TRUE;
}

DWORD WINAPI GetFileAttributesW(LPCWSTR fileName) {
    return AttributesAt(PathOrFail(fileName));
}

DWORD WINAPI GetFileAttributesA(LPCSTR fileName) {
    return AttributesAt(PathOrFail(fileName));
}

BOOL WINAPI SetFileAttributesA(LPCSTR fileName, DWORD attributes) {
    std::optional<std::string> path = PathOrFail(fileName);
    if (!path)
        return FALSE;
    struct stat st;
    if (stat(path->c_str(), &st) != 0) {
        SetLastError(ErrorFromErrno(errno, *path));
        return FALSE;
    }
    // Only FILE_ATTRIBUTE_READONLY has a Linux counterpart, the write permission bits; Windows
    // ignores it on folders.
    if (S_ISDIR(st.st_mode))
        return TRUE;
    mode_t mode = st.st_mode & 07777;
    if (attributes & FILE_ATTRIBUTE_READONLY) {
        mode &= ~(S_IWUSR | S_IWGRP | S_IWOTH);
    } else if (IsReadOnlyMode(mode)) {
        mode |= S_IWUSR;
    }
    if (chmod(path->c_str(), mode) != 0) {
        SetLastError(ErrorFromErrno(errno, *path));
        return FALSE;
    }
    return TRUE;
}

DWORD WINAPI GetFullPathNameW(LPCWSTR fileName, DWORD bufferLength, LPWSTR buffer,
                              LPWSTR* filePart) {
    if (filePart)
        *filePart = nullptr;
    if (fileName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::optional<std::string> full = FullPathUtf8(Utf8FromWide(fileName));
    if (!full)
        return 0;
    return CopyFullPath(WideFromUtf8(*full), bufferLength, buffer, filePart);
}

DWORD WINAPI GetFullPathNameA(LPCSTR fileName, DWORD bufferLength, LPSTR buffer, LPSTR* filePart) {
    if (filePart)
        *filePart = nullptr;
    if (fileName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::optional<std::string> full = FullPathUtf8(Utf8FromAnsi(fileName));
    if (!full)
        return 0;
    return CopyFullPath(AnsiFromUtf8(*full), bufferLength, buffer, filePart);
}
