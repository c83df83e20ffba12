// SHFileOperationA: the shell's file operations. FO_DELETE deletes files and whole trees at once;
// there is no recycle bin here and no confirmation or error window. A last name with * or ?
// deletes every match in its folder.
#include "kernel32/codepage.h"
#include "kernel32/file_object.h"
#include "kernel32/paths.h"

#include <shellapi.h>

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

namespace winlayer {
namespace {

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

// The shell's own result codes for a source it cannot use.
constexpr int kInvalidFiles = 0x7C;  // DE_INVALIDFILES: a wildcard in a folder name, a drive

// Adds the Linux paths that one source names; ERROR_FILE_NOT_FOUND when nothing does.
int ExpandSource(const std::string& source, std::vector<std::string>* paths) {
    size_t split = source.find_last_of("\\/");
    std::string folder = split == std::string::npos ? std::string() : source.substr(0, split + 1);
    std::string name = split == std::string::npos ? source : source.substr(split + 1);
    if (folder.find_first_of("*?") != std::string::npos)
        return kInvalidFiles;
    DWORD error = 0;
    if (name.find_first_of("*?") == std::string::npos) {
        std::optional<std::string> unix = UnixPath(source, &error);
        if (!unix)
            return static_cast<int>(error);
        struct stat st;
        if (lstat(unix->c_str(), &st) != 0)
            return ERROR_FILE_NOT_FOUND;
        paths->push_back(*unix);
        return 0;
    }
    std::optional<std::string> unixFolder = UnixPath(folder.empty() ? "." : folder, &error);
    if (!unixFolder)
        return static_cast<int>(error);
    std::unique_ptr<DIR, DirCloser> dir(opendir(unixFolder->c_str()));
    if (!dir)
        return ERROR_FILE_NOT_FOUND;
    size_t before = paths->size();
    while (dirent* entry = readdir(dir.get())) {
        std::string_view entryName = entry->d_name;
        if (entryName == "." || entryName == "..")
            continue;
        // Windows matches names without regard to case; "*.*" matches names without a dot too.
        if (fnmatch(name.c_str(), entry->d_name, FNM_CASEFOLD) == 0 || name == "*.*")
            paths->push_back(*unixFolder + "/" + entry->d_name);
    }
    return paths->size() > before ? 0 : ERROR_FILE_NOT_FOUND;
}

// A drive's root is never deleted as a whole.
bool IsDriveRoot(const std::string& unixPath) {
    std::error_code ignored;
    auto canonical = std::filesystem::weakly_canonical(unixPath, ignored);
    return canonical == "/" ||
           canonical == std::filesystem::weakly_canonical(WinRoot() + "/drive_c", ignored);
}

int DeleteSources(LPCSTR from) {
    std::vector<std::string> paths;
    for (const char* source = from; *source; source += std::char_traits<char>::length(source) + 1) {
        int result = ExpandSource(Utf8FromAnsi(source), &paths);
        if (result != 0)
            return result;
    }
    if (paths.empty())
        return ERROR_INVALID_PARAMETER;
    for (const std::string& path : paths) {
        if (IsDriveRoot(path))
            return kInvalidFiles;
        // Windows refuses to delete a file that a handle holds open without FILE_SHARE_DELETE.
        if (HoldsFileOpenWithoutDeleteSharing(path))
            return ERROR_SHARING_VIOLATION;
        std::error_code error;
        std::filesystem::remove_all(path, error);  // a symbolic link goes, not what it points at
        if (error)
            return ERROR_ACCESS_DENIED;
    }
    return 0;
}

}  // namespace
}  // namespace winlayer

// Returns 0 on success; otherwise ERROR_FILE_NOT_FOUND for a source that does not exist,
// ERROR_SHARING_VIOLATION for a tree with a file held open without FILE_SHARE_DELETE,
// ERROR_ACCESS_DENIED when something could not be deleted (what was deleted before stays deleted),
// DE_INVALIDFILES (0x7C) for a wildcard in a folder name or a drive's root, ERROR_INVALID_PARAMETER
// for an empty list, ERROR_CALL_NOT_IMPLEMENTED for operations other than FO_DELETE.
int WINAPI SHFileOperationA(LPSHFILEOPSTRUCTA fileOp) {
    if (fileOp == nullptr || fileOp->pFrom == nullptr)
        return ERROR_INVALID_PARAMETER;
    fileOp->fAnyOperationsAborted = FALSE;
    if (fileOp->wFunc != FO_DELETE)
        return ERROR_CALL_NOT_IMPLEMENTED;
    return winlayer::DeleteSources(fileOp->pFrom);
}
