#include <windows.h>
#include <winlayer/message_boxes.h>

#include "system/processes_and_files.h"
#include "winroot.h"

#include <filesystem>

namespace {

namespace fs = std::filesystem;
using winlayer::testing::ResetMessageBoxes;
using winlayer::testing::ShownMessageBoxes;

class FileOperationsTest : public testsupport::WinRootTest {
  protected:
    ~FileOperationsTest() override { ResetMessageBoxes(); }
    fs::path C(const std::string& relative) const { return winroot.driveC() / relative; }
};

TEST_F(FileOperationsTest, MakeParentFoldersCreatesEveryFolderButNeverTheFileName) {
    fs::create_directories(C("a"));
    EXPECT_TRUE(MakeParentFolders("C:\\a\\b\\log\\install.log"));
    EXPECT_TRUE(fs::is_directory(C("a/b/log")));
    EXPECT_FALSE(fs::exists(C("a/b/log/install.log")));
    EXPECT_TRUE(MakeParentFolders("C:\\a\\b\\log\\install.log")) << "all exist already";
    EXPECT_TRUE(MakeParentFolders("C:\\x\\y\\")) << "a trailing backslash makes the last one";
    EXPECT_TRUE(fs::is_directory(C("x/y")));
    EXPECT_TRUE(MakeParentFolders("no-backslash"));
    EXPECT_TRUE(MakeParentFolders("C:/forward/slashes"));
    EXPECT_FALSE(fs::exists(C("forward"))) << "only backslashes separate here";
    EXPECT_TRUE(ShownMessageBoxes().empty());
}

TEST_F(FileOperationsTest, MakeParentFoldersReportsTheFolderItCannotCreate) {
    testsupport::WriteFileBytes(C("a/file"), "f");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(MakeParentFolders("C:\\made\\bad|name\\later\\x.log"));
    EXPECT_FALSE(MakeParentFolders("C:\\a\\file\\sub\\x.log"));
    testing::internal::GetCapturedStderr();
    EXPECT_TRUE(fs::is_directory(C("made"))) << "folders made before stay";
    EXPECT_FALSE(fs::exists(C("made/later")));
    auto shown = ShownMessageBoxes();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].text, "C:\\made\\bad|name\\");
    EXPECT_EQ(shown[0].caption, "\u63d0\u793a");
    EXPECT_EQ(shown[0].type, static_cast<UINT>(MB_OK));
    EXPECT_EQ(shown[1].text.rfind("C:\\a\\file\\", 0), 0u) << "a file stands in the way";
}

TEST_F(FileOperationsTest, MakeParentFoldersPrefixesUpTo259Bytes) {
    // "C:\" + 255 bytes + "\" is 259 bytes: the longest prefix the 260-byte buffer holds.
    std::string name(255, 'n');
    std::string fits = "C:\\" + name + "\\";
    EXPECT_TRUE(MakeParentFolders((fits + "f.log").c_str()));
    EXPECT_TRUE(fs::is_directory(C(name)));
    std::string tooLong = "C:\\" + name + "\\" + "y\\f.log";  // the next prefix is 261 bytes
    testing::internal::CaptureStderr();
    EXPECT_FALSE(MakeParentFolders(tooLong.c_str()));
    testing::internal::GetCapturedStderr();
    auto shown = ShownMessageBoxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text.size(), 259u) << "the prefix as far as it fits, terminated";
    EXPECT_FALSE(fs::exists(C(name + "/y")));
}

TEST_F(FileOperationsTest, DeleteFileTreeRemovesTreesAndFailsOnMissingPaths) {
    testsupport::WriteFileBytes(C("staging/a/b/c.txt"), "c");
    testsupport::WriteFileBytes(C("staging/d.bin"), "d");
    fs::create_directories(C("staging/empty"));
    testsupport::WriteFileBytes(C("base.zip"), "zip");
    EXPECT_TRUE(DeleteFileTree("C:\\staging"));
    EXPECT_FALSE(fs::exists(C("staging")));
    EXPECT_TRUE(DeleteFileTree("C:\\base.zip"));
    EXPECT_FALSE(fs::exists(C("base.zip")));
    EXPECT_FALSE(DeleteFileTree("C:\\staging"));
    EXPECT_FALSE(DeleteFileTree("C:\\missing\\deeper"));
    EXPECT_TRUE(ShownMessageBoxes().empty()) << "nothing asks";
}

}  // namespace
