#include <windows.h>
#include <shellapi.h>

#include "winroot.h"

#include <filesystem>

namespace {

namespace fs = std::filesystem;

class ShellOperationsTest : public testsupport::WinRootTest {
  protected:
    // Runs FO_DELETE the way the installer does, on a double-NUL list.
    int Delete(const std::string& list, FILEOP_FLAGS flags = FOF_SILENT | FOF_NOCONFIRMATION) {
        std::string from = list + '\0' + '\0';
        SHFILEOPSTRUCTA op{};
        op.wFunc = FO_DELETE;
        op.pFrom = from.c_str();
        op.fFlags = flags;
        op.fAnyOperationsAborted = TRUE;
        int result = SHFileOperationA(&op);
        EXPECT_FALSE(op.fAnyOperationsAborted);
        return result;
    }
    fs::path C(const std::string& relative) const { return winroot.driveC() / relative; }
};

TEST_F(ShellOperationsTest, DeletesTreesAndFilesWithoutAsking) {
    testsupport::WriteFileBytes(C("tree/a/b/deep.txt"), "x");
    testsupport::WriteFileBytes(C("tree/top.bin"), "y");
    fs::create_directories(C("tree/empty"));
    fs::permissions(C("tree/top.bin"), fs::perms::owner_read, fs::perm_options::replace);
    testsupport::WriteFileBytes(C("single.txt"), "z");
    testsupport::WriteFileBytes(C("keep/kept.txt"), "k");

    EXPECT_EQ(Delete("C:\\tree"), 0);
    EXPECT_FALSE(fs::exists(C("tree")));
    EXPECT_EQ(Delete("c:/SINGLE.TXT"), 0) << "names match without regard to case";
    EXPECT_FALSE(fs::exists(C("single.txt")));
    EXPECT_TRUE(fs::exists(C("keep/kept.txt")));
}

TEST_F(ShellOperationsTest, ListsAndWildcards) {
    testsupport::WriteFileBytes(C("d/one.zip"), "1");
    testsupport::WriteFileBytes(C("d/TWO.ZIP"), "2");
    testsupport::WriteFileBytes(C("d/three.txt"), "3");
    testsupport::WriteFileBytes(C("e/f.txt"), "4");
    std::string list = std::string("C:\\d\\*.zip") + '\0' + "C:\\e";
    EXPECT_EQ(Delete(list), 0);
    EXPECT_FALSE(fs::exists(C("d/one.zip")));
    EXPECT_FALSE(fs::exists(C("d/TWO.ZIP")));
    EXPECT_TRUE(fs::exists(C("d/three.txt")));
    EXPECT_FALSE(fs::exists(C("e")));
}

TEST_F(ShellOperationsTest, FailuresReturnNonzeroAndDeleteNothing) {
    testsupport::WriteFileBytes(C("there.txt"), "x");
    fs::create_directory_symlink(C("target"), C("link"));
    fs::create_directories(C("target"));
    testsupport::WriteFileBytes(C("target/inside.txt"), "t");
    EXPECT_EQ(Delete("C:\\missing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Delete(std::string("C:\\there.txt") + '\0' + "C:\\missing"), ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(fs::exists(C("there.txt"))) << "a bad list deletes nothing";
    EXPECT_EQ(Delete("C:\\*\\x"), 0x7C);
    EXPECT_EQ(Delete("C:\\"), 0x7C) << "a drive's root is never deleted";
    EXPECT_EQ(Delete("Z:\\"), 0x7C);
    EXPECT_EQ(Delete(""), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Delete("C:\\link"), 0);
    EXPECT_TRUE(fs::exists(C("target/inside.txt"))) << "a link goes, not what it points at";

    testsupport::WriteFileBytes(C("busy/held.txt"), "h");
    HANDLE held = CreateFileA("C:\\busy\\held.txt", GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Delete("C:\\busy"), ERROR_SHARING_VIOLATION);
    EXPECT_TRUE(fs::exists(C("busy/held.txt")));
    CloseHandle(held);
    EXPECT_EQ(Delete("C:\\busy"), 0);

    SHFILEOPSTRUCTA copy{};
    copy.wFunc = FO_COPY;
    copy.pFrom = "C:\\there.txt\0";
    EXPECT_NE(SHFileOperationA(&copy), 0);
    EXPECT_NE(SHFileOperationA(nullptr), 0);
}

}  // namespace
