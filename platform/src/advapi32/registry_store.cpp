// Hive files: where they are, reading one, and replacing one atomically under its lock.
#include "advapi32/registry_store.h"

#include "common/atomic_file.h"
#include "kernel32/paths.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

namespace winlayer {
namespace {

// The advisory lock of one hive, held while it lives. A separate lock file is locked because
// the hive file itself is replaced by every write.
class HiveLock {
  public:
    explicit HiveLock(const std::string& hivePath) {
        fd_ = open((hivePath + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd_ < 0)
            return;
        while (flock(fd_, LOCK_EX) != 0) {
            if (errno != EINTR) {
                close(fd_);
                fd_ = -1;
                return;
            }
        }
    }
    ~HiveLock() {
        if (fd_ >= 0)
            close(fd_);  // releases the lock
    }
    HiveLock(const HiveLock&) = delete;
    HiveLock& operator=(const HiveLock&) = delete;
    bool Held() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
};

LONG ErrorFromErrno(int error) {
    switch (error) {
        case EACCES:
        case EPERM:
        case EROFS:
            return ERROR_ACCESS_DENIED;
        case ENOSPC:
        case EDQUOT:
            return ERROR_DISK_FULL;
        default:
            return ERROR_CANTWRITE;
    }
}

// Replaces the hive file whole, so a crash never leaves half a hive.
LONG WriteHiveFile(const std::string& hivePath, const std::string& text) {
    int error = ReplaceFileAtomically(hivePath, text);
    return error == 0 ? ERROR_SUCCESS : ErrorFromErrno(error);
}

// The keys every Windows installation has, present in a hive that has no file yet.
void AddStandardKeys(Hive hive, RegistryKey& root) {
    static const std::vector<std::vector<std::string>> kLocalMachine = {
        {"SOFTWARE", "Microsoft", "Windows", "CurrentVersion", "Uninstall"},
        {"SOFTWARE", "Wow6432Node", "Microsoft", "Windows", "CurrentVersion", "Uninstall"},
    };
    static const std::vector<std::vector<std::string>> kCurrentUser = {{"Software"}};
    const auto& paths = hive == Hive::LocalMachine  ? kLocalMachine
                        : hive == Hive::CurrentUser ? kCurrentUser
                                                    : std::vector<std::vector<std::string>>();
    for (const auto& path : paths) {
        RegistryKey* key = &root;
        for (const std::string& part : path) {
            RegistryKey* next = key->FindSubkey(part);
            key = next ? next : &key->AddSubkey(part);
        }
    }
}

}  // namespace

std::string HiveFilePath(Hive hive) {
    const char* file = hive == Hive::LocalMachine  ? "HKLM.reg"
                       : hive == Hive::ClassesRoot ? "HKCR.reg"
                                                   : "HKCU.reg";
    return WinRoot() + "/registry/" + file;
}

bool HiveRefusesChanges(Hive hive) {
    struct stat st;
    return stat(HiveFilePath(hive).c_str(), &st) == 0 && (st.st_mode & S_IWUSR) == 0;
}

LONG ReadHive(Hive hive, RegistryKey* root) {
    *root = RegistryKey();
    int fd = open(HiveFilePath(hive).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
        AddStandardKeys(hive, *root);
        return ERROR_SUCCESS;
    }
    if (fd < 0)
        return ERROR_CANTREAD;
    std::string text;
    char chunk[65536];
    for (;;) {
        ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            close(fd);
            return ERROR_CANTREAD;
        }
        if (n == 0)
            break;
        text.append(chunk, static_cast<size_t>(n));
    }
    close(fd);
    std::optional<RegistryKey> parsed = ParseHive(hive, text);
    if (!parsed)
        return ERROR_BADDB;
    *root = std::move(*parsed);
    return ERROR_SUCCESS;
}

LONG UpdateHive(Hive hive, const std::function<LONG(RegistryKey& root, bool* changed)>& change) {
    std::string path = HiveFilePath(hive);
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
    if (HiveRefusesChanges(hive))
        return ERROR_ACCESS_DENIED;
    HiveLock lock(path);
    if (!lock.Held())
        return ErrorFromErrno(errno);
    // A writer killed before its rename left its temporary file; under the lock it is nobody's.
    RemoveAbandonedTemporaries(path, ".");
    RegistryKey root;
    if (LONG error = ReadHive(hive, &root); error != ERROR_SUCCESS)
        return error;
    bool changed = false;
    LONG result = change(root, &changed);
    if (result != ERROR_SUCCESS || !changed)
        return result;
    return WriteHiveFile(path, FormatHive(hive, root));
}

}  // namespace winlayer
