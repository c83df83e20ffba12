#include <windows.h>
#include <shlobj.h>

#include "system/active_user_folder.h"

#include "scoped_env.h"
#include "winroot.h"

#include <string>

namespace {

class ActiveUserFolderTest : public testsupport::WinRootTest {
  protected:
    void SetUp() override { env.Set("WINLAYER_USER", "admin"); }
    testsupport::ScopedEnv env;
};

TEST_F(ActiveUserFolderTest, FoldersOfTheConsoleUserForAProcessRunningAsAnother) {
    struct Row {
        int csidl;
        const char* consoleUser;  // "" makes the console query fail
        const char* expected;
    } rows[] = {
        {CSIDL_LOCAL_APPDATA, "user1", "C:\\Users\\user1\\AppData\\Local"},
        {CSIDL_DESKTOPDIRECTORY, "user1", "C:\\Users\\user1\\desktop"},
        {CSIDL_LOCAL_APPDATA, "admin", "C:\\Users\\admin\\AppData\\Local"},
        // No console user and no shell window: the name is empty.
        {CSIDL_LOCAL_APPDATA, "", "C:\\Users\\\\AppData\\Local"},
        {CSIDL_DESKTOPDIRECTORY, "", "C:\\Users\\\\desktop"},
        // A folder the shell does not know leaves the text as the caller gave it.
        {0x7f, "user1", ""},
    };
    for (const Row& row : rows) {
        env.Set("WINLAYER_CONSOLE_USER", row.consoleUser);
        std::string text;
        GetActiveUserFolder(row.csidl, text);
        EXPECT_EQ(text, row.expected) << row.csidl << " " << row.consoleUser;
    }
}

TEST(RewriteFolderForUser, ComponentsAreCountedByBackslashes) {
    struct Row {
        int csidl;
        const char* folder;
        const char* user;
        const char* expected;
    } rows[] = {
        {CSIDL_LOCAL_APPDATA, "C:\\Users\\admin\\AppData\\Local", "user1",
         "C:\\Users\\user1\\AppData\\Local"},
        {CSIDL_LOCAL_APPDATA, "C:\\Users\\user1.CORP\\AppData\\Local", "user1",
         "C:\\Users\\user1\\AppData\\Local"},
        {CSIDL_DESKTOPDIRECTORY, "C:\\Users\\admin\\Desktop", "user1", "C:\\Users\\user1\\desktop"},
        {CSIDL_DESKTOPDIRECTORY, "C:\\Users\\admin\\OneDrive\\DESKTOP", "user1",
         "C:\\Users\\user1\\desktop"},
        {CSIDL_LOCAL_APPDATA, "D:\\Data", "user1", "D:\\Data"},
        {CSIDL_LOCAL_APPDATA, "D:\\Data\\x", "user1", "D:\\Data\\x"},
        {CSIDL_DESKTOPDIRECTORY, "D:\\Data\\x", "user1", "D:\\Data\\user1\\desktop"},
        {CSIDL_DESKTOPDIRECTORY, "D:\\Data", "user1", "D:\\Data"},
        {CSIDL_LOCAL_APPDATA, "C:\\Users\\admin\\AppData\\Local", "",
         "C:\\Users\\\\AppData\\Local"},
        {CSIDL_LOCAL_APPDATA, "", "user1", ""},
    };
    for (const Row& row : rows) {
        std::string text = row.folder;
        RewriteFolderForUser(row.csidl, row.user, text);
        EXPECT_EQ(text, row.expected) << row.folder;
    }
}

}  // namespace
