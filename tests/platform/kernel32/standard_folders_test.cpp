#include <windows.h>
#include <shlobj.h>

#include "scoped_env.h"
#include "winroot.h"

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const char* const kStandardFolders[] = {
    "Users/Public/Desktop",
    "Users/Public/Documents",
    "Users/admin/Desktop",
    "Users/admin/Documents",
    "Users/admin/AppData/Local/Temp",
    "Users/admin/AppData/Roaming",
    "ProgramData/Microsoft/Windows/Start Menu/Programs",
    "Windows/System32",
    "Windows/Temp",
};

std::set<std::string> Names(const fs::path& folder) {
    std::set<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

bool IsFolder(const char* windowsPath) {
    const DWORD attributes = GetFileAttributesA(windowsPath);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

class StandardFoldersTest : public testsupport::WinRootTest {
  protected:
    void SetUp() override { env.Set("WINLAYER_USER", "admin"); }
    testsupport::ScopedEnv env;
};

// One account's process, then another's: the machine's folders once, a profile for each.
TEST_F(StandardFoldersTest, ARootThatDoesNotExistGetsTheFoldersOfANewMachineAtItsFirstUse) {
    const fs::path root = winroot.root() / "new";
    env.Set("WINROOT", root.c_str());
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        setenv("WINLAYER_USER", "trader", 1);
        _exit(IsFolder("C:\\Users\\trader\\AppData\\Local\\Temp") ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_FALSE(fs::exists(root / "drive_c/Users/admin"));

    EXPECT_TRUE(IsFolder("C:\\Users\\admin\\Desktop"));
    for (const char* folder : kStandardFolders)
        EXPECT_TRUE(fs::is_directory(root / "drive_c" / folder)) << folder;
    EXPECT_EQ(Names(root / "drive_c"), (std::set<std::string>{"ProgramData", "Users", "Windows"}));
    EXPECT_EQ(Names(root / "drive_c/Users"), (std::set<std::string>{"Public", "admin", "trader"}));
}

// Processes starting at once on a fresh root: each finds every folder made, none makes any
// twice. Later processes make none again, not even one that was removed.
TEST_F(StandardFoldersTest, ProcessesStartingTogetherFindTheFoldersMadeOnce) {
    std::vector<pid_t> children;
    for (int i = 0; i < 4; ++i) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const bool found = IsFolder("C:\\Users\\Public\\Desktop") &&
                               IsFolder("C:\\Windows\\Temp") &&
                               IsFolder("C:\\Users\\admin\\AppData\\Local\\Temp");
            _exit(found ? 0 : 1);
        }
        children.push_back(child);
    }
    for (pid_t child : children) {
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(Names(winroot.driveC()), (std::set<std::string>{"ProgramData", "Users", "Windows"}));

    fs::remove_all(winroot.driveC() / "Users/Public/Documents");
    fs::remove_all(winroot.driveC() / "Users/admin/Documents");
    EXPECT_FALSE(IsFolder("C:\\Users\\Public\\Documents"));
    EXPECT_FALSE(IsFolder("C:\\Users\\admin\\Documents"));
}

// A root made before the layer spelled C:\Users so: its folders keep their spelling, what it
// lacks is added inside them, and every name reaches them.
TEST_F(StandardFoldersTest, ARootWithLowerCaseUsersKeepsWorking) {
    testsupport::WriteFileBytes(winroot.driveC() / "users/admin/AppData/Local/app/update.ini",
                                "[v]\r\n");
    EXPECT_NE(GetFileAttributesA("C:\\Users\\admin\\AppData\\Local\\app\\update.ini"),
              INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(Names(winroot.driveC()), (std::set<std::string>{"ProgramData", "Windows", "users"}));
    EXPECT_TRUE(fs::is_directory(winroot.driveC() / "users/Public/Desktop"));
    EXPECT_FALSE(fs::exists(winroot.driveC() / "users/admin/Desktop"))
        << "an existing profile is left as it is";

    char desktop[MAX_PATH];
    ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, desktop, CSIDL_COMMON_DESKTOPDIRECTORY, FALSE));
    const std::string link = std::string(desktop) + "\\app.lnk";
    HANDLE file = CreateFileA(link.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    EXPECT_TRUE(fs::is_regular_file(winroot.driveC() / "users/Public/Desktop/app.lnk"));
}

}  // namespace
