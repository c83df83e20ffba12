#include <windows.h>
#include <shlobj.h>

#include "scoped_env.h"
#include "winroot.h"

#include <cstring>
#include <filesystem>

namespace {

class ShellFoldersTest : public testsupport::WinRootTest {
  protected:
    void SetUp() override { env.Set("WINLAYER_USER", "admin"); }
    testsupport::ScopedEnv env;
};

// Naming never makes a folder: the standard ones exist because the root's first use made them,
// and one removed since stays away.
TEST_F(ShellFoldersTest, SpecialFoldersBelongToTheProcessAccountAndNamingMakesNone) {
    ASSERT_EQ(GetFileAttributesA("C:\\Users\\admin\\Desktop"), FILE_ATTRIBUTE_DIRECTORY);
    std::filesystem::remove_all(winroot.driveC() / "Users/admin/Desktop");
    std::filesystem::remove_all(winroot.driveC() / "Users/Public/Desktop");
    struct Row {
        int csidl;
        const char* path;
    } rows[] = {
        {CSIDL_LOCAL_APPDATA, "C:\\Users\\admin\\AppData\\Local"},
        {CSIDL_DESKTOPDIRECTORY, "C:\\Users\\admin\\Desktop"},
        {CSIDL_COMMON_DESKTOPDIRECTORY, "C:\\Users\\Public\\Desktop"},
        {CSIDL_APPDATA, "C:\\Users\\admin\\AppData\\Roaming"},
        {CSIDL_WINDOWS, "C:\\windows"},
    };
    LPMALLOC malloc = nullptr;
    ASSERT_EQ(SHGetMalloc(&malloc), S_OK);
    for (const Row& row : rows) {
        PIDLIST_ABSOLUTE list = nullptr;
        ASSERT_EQ(SHGetSpecialFolderLocation(nullptr, row.csidl, &list), S_OK) << row.csidl;
        char path[65536];
        std::memset(path, '#', sizeof path);
        EXPECT_TRUE(SHGetPathFromIDListA(list, path));
        EXPECT_STREQ(path, row.path);
        malloc->Free(list);
        std::memset(path, '#', MAX_PATH);
        EXPECT_TRUE(SHGetSpecialFolderPathA(nullptr, path, row.csidl, FALSE));
        EXPECT_STREQ(path, row.path);
    }
    malloc->Release();
    EXPECT_FALSE(std::filesystem::exists(winroot.driveC() / "Users/admin/Desktop"));
    EXPECT_FALSE(std::filesystem::exists(winroot.driveC() / "Users/Public/Desktop"));
    EXPECT_EQ(GetFileAttributesA("C:\\Users\\Public\\Desktop"), INVALID_FILE_ATTRIBUTES)
        << "nor does a later use of the root";
}

TEST_F(ShellFoldersTest, UnknownFoldersFailAndClearTheOutput) {
    PIDLIST_ABSOLUTE list = reinterpret_cast<PIDLIST_ABSOLUTE>(1);
    EXPECT_EQ(SHGetSpecialFolderLocation(nullptr, 0x7f, &list), E_INVALIDARG);
    EXPECT_EQ(list, nullptr);
    char path[MAX_PATH] = "poison";
    EXPECT_FALSE(SHGetSpecialFolderPathA(nullptr, path, 0x7f, TRUE));
    EXPECT_STREQ(path, "");
    EXPECT_FALSE(SHGetPathFromIDListA(nullptr, path));
}

TEST_F(ShellFoldersTest, CreateFlagCreatesTheFolderWithItsParents) {
    ASSERT_EQ(GetFileAttributesA("C:\\Users\\admin"), FILE_ATTRIBUTE_DIRECTORY);
    std::filesystem::remove_all(winroot.driveC() / "Users/admin");
    char path[MAX_PATH];
    ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, path, CSIDL_LOCAL_APPDATA, TRUE));
    EXPECT_TRUE(std::filesystem::is_directory(winroot.driveC() / "Users/admin/AppData/Local"));
    PIDLIST_ABSOLUTE list = nullptr;
    ASSERT_EQ(
        SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOPDIRECTORY | CSIDL_FLAG_CREATE, &list),
        S_OK);
    EXPECT_TRUE(std::filesystem::is_directory(winroot.driveC() / "Users/admin/Desktop"));
    LPMALLOC malloc = nullptr;
    SHGetMalloc(&malloc);
    malloc->Free(list);
}

TEST_F(ShellFoldersTest, AccountNamesAreGbkOnTheAnsiSide) {
    env.Set("WINLAYER_USER", "\xE7\x94\xA8\xE6\x88\xB7");  // "用户" in UTF-8
    char path[MAX_PATH];
    ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, path, CSIDL_LOCAL_APPDATA, TRUE));
    EXPECT_STREQ(path, "C:\\Users\\\xD3\xC3\xBB\xA7\\AppData\\Local");
    EXPECT_TRUE(std::filesystem::is_directory(winroot.driveC() /
                                              "Users/\xE7\x94\xA8\xE6\x88\xB7/AppData/Local"));
}

TEST(ShellMalloc, BlocksKnowTheirSize) {
    LPMALLOC malloc = nullptr;
    ASSERT_EQ(SHGetMalloc(&malloc), S_OK);
    void* block = malloc->Alloc(10);
    ASSERT_NE(block, nullptr);
    std::memcpy(block, "0123456789", 10);
    EXPECT_EQ(malloc->GetSize(block), 10u);
    block = malloc->Realloc(block, 100);
    EXPECT_EQ(malloc->GetSize(block), 100u);
    EXPECT_EQ(std::memcmp(block, "0123456789", 10), 0);
    malloc->Free(block);
    malloc->Free(nullptr);
}

}  // namespace
