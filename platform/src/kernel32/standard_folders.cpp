#include "kernel32/standard_folders.h"

#include "common/accounts.h"
#include "kernel32/paths.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <mutex>
#include <set>
#include <system_error>

namespace winlayer {
namespace {

// Under C:\, as setup leaves a machine.
constexpr const char* kMachineFolders[] = {
    "Users\\Public\\Desktop",
    "Users\\Public\\Documents",
    "ProgramData\\Microsoft\\Windows\\Start Menu\\Programs",
    "Windows\\System32",
    "Windows\\Temp",
};
// Under an account's profile, as its first logon leaves it.
constexpr const char* kProfileFolders[] = {
    "Desktop",
    "Documents",
    "AppData\\Local\\Temp",
    "AppData\\Roaming",
};

// In the root: empty until the machine's folders are made; its lock lets one process at a time
// make folders.
constexpr char kMarkerFile[] = "/.standard-folders";
constexpr char kMarkerText[] = "made\n";

void MakeFolder(const std::string& driveC, const std::string& relative) {
    std::error_code ignored;
    std::filesystem::create_directories(ResolveUnder(driveC, relative), ignored);
}

// An account name that makes one folder name under C:\Users.
bool IsFolderName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           std::none_of(name.begin(), name.end(), [](char c) {
               return static_cast<unsigned char>(c) < 32 ||
                      std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos;
           });
}

void MakeStandardFolders(const std::string& root) {
    const std::string driveC = root + "/drive_c";
    std::error_code ignored;
    std::filesystem::create_directories(driveC, ignored);
    const int marker = open((root + kMarkerFile).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (marker < 0)
        return;
    // Another process making them is waited for, so that no caller sees a root half made.
    while (flock(marker, LOCK_EX) != 0 && errno == EINTR) {
    }
    struct stat st;
    if (fstat(marker, &st) == 0 && st.st_size == 0) {
        for (const char* folder : kMachineFolders)
            MakeFolder(driveC, folder);
        ssize_t written = write(marker, kMarkerText, sizeof kMarkerText - 1);
        static_cast<void>(written);  // unwritten, the next process makes what is missing
    }
    const std::string account = ProcessAccountName();
    std::error_code missing;
    if (IsFolderName(account) &&
        !std::filesystem::exists(ResolveUnder(driveC, "Users\\" + account), missing)) {
        for (const char* folder : kProfileFolders)
            MakeFolder(driveC, "Users\\" + account + "\\" + folder);
    }
    close(marker);  // and with it the lock
}

}  // namespace

void PrepareRoot(const std::string& root) {
    static std::mutex mutex;
    // Never destroyed: threads that outlive main may still resolve paths.
    static auto* prepared = new std::set<std::string>;
    std::lock_guard lock(mutex);
    if (prepared->insert(root).second)
        MakeStandardFolders(root);
}

}  // namespace winlayer
