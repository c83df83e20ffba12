#include <windows.h>

#include "kernel32/paths.h"
#include "winroot.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

using winlayer::FullWindowsPath;
using winlayer::UnixPath;

namespace {

class PathsTest : public testsupport::WinRootTest {};

TEST_F(PathsTest, DrivesAndSeparatorsMapOntoTheRoot) {
    std::string c = winroot.driveC().string();
    struct Row {
        const char* windows;
        std::string unix;
    } rows[] = {
        {"C:\\Users\\a\\file.txt", c + "/Users/a/file.txt"},
        {"c:/Users/a/file.txt", c + "/Users/a/file.txt"},
        {"C:\\a\\.\\b\\..\\c", c + "/a/c"},
        {"C:\\..\\..\\x", c + "/x"},
        {"Z:\\tmp\\x", "/tmp/x"},
        {"/tmp/x", "/tmp/x"},
        {"\\\\?\\C:\\a", c + "/a"},
        {"C:\\a\\name. . ", c + "/a/name"},
    };
    for (const Row& row : rows) {
        DWORD error = 0;
        auto unix = UnixPath(row.windows, &error);
        ASSERT_TRUE(unix.has_value()) << row.windows << " error " << error;
        EXPECT_EQ(*unix, row.unix) << row.windows;
    }
}

TEST_F(PathsTest, RelativePathsFollowTheWorkingDirectory) {
    DWORD error = 0;
    auto full = FullWindowsPath("sub\\f.txt", &error);
    ASSERT_TRUE(full.has_value());
    EXPECT_EQ(*full, "C:\\sub\\f.txt") << "the working directory is inside the root";
    EXPECT_EQ(*UnixPath("sub\\f.txt", &error), (winroot.driveC() / "sub/f.txt").string());
    EXPECT_EQ(*FullWindowsPath("C:rel", &error), "C:\\rel") << "relative to C:'s folder";
    EXPECT_EQ(*FullWindowsPath("\\tmp\\x", &error), "Z:\\tmp\\x") << "a rooted path is Linux's";

    // A root named through a symbolic link still holds the working directory, which the kernel
    // names by its resolved path.
    const std::string root = std::getenv("WINROOT");
    const std::string link = root + "-link";
    std::filesystem::create_directory_symlink(root, link);
    setenv("WINROOT", link.c_str(), 1);
    EXPECT_EQ(*FullWindowsPath("f.txt", &error), "C:\\f.txt");
    setenv("WINROOT", root.c_str(), 1);
    std::filesystem::remove(link);
}

TEST_F(PathsTest, RejectsWhatWindowsRejects) {
    struct Row {
        const char* path;
        DWORD error;
    } rows[] = {
        {"", ERROR_PATH_NOT_FOUND},
        {"C:\\a<b", ERROR_INVALID_NAME},
        {"C:\\a\\b?", ERROR_INVALID_NAME},
        {"C:\\a:b", ERROR_INVALID_NAME},
        {"\\\\server\\share", ERROR_BAD_PATHNAME},
        {"Q:\\x", ERROR_PATH_NOT_FOUND},
    };
    for (const Row& row : rows) {
        DWORD error = 0;
        EXPECT_FALSE(UnixPath(row.path, &error).has_value()) << row.path;
        EXPECT_EQ(error, row.error) << row.path;
    }
}

TEST_F(PathsTest, ExistingNamesResolveWithoutRegardToCase) {
    std::filesystem::create_directories(winroot.driveC() / "Users/Alice/AppData");
    DWORD error = 0;
    EXPECT_EQ(*UnixPath("c:\\USERS\\alice\\appdata\\New\\File", &error),
              (winroot.driveC() / "Users/Alice/AppData/New/File").string());
}

TEST_F(PathsTest, ExactSpellingWinsOverAnotherCase) {
    std::filesystem::create_directories(winroot.driveC() / "Data");
    std::filesystem::create_directories(winroot.driveC() / "data");
    DWORD error = 0;
    EXPECT_EQ(*UnixPath("C:\\data", &error), (winroot.driveC() / "data").string());
    EXPECT_EQ(*UnixPath("C:\\Data", &error), (winroot.driveC() / "Data").string());
    EXPECT_EQ(*UnixPath("C:\\DATA", &error), (winroot.driveC() / "Data").string());
}

TEST_F(PathsTest, AnsiNamesAreGbkAndReachDiskAsUtf8) {
    // "安装" in code page 936
    DWORD error = 0;
    auto unix = winlayer::UnixPathFromAnsi("C:\\\xB0\xB2\xD7\xB0.txt", &error);
    ASSERT_TRUE(unix.has_value());
    EXPECT_EQ(*unix, (winroot.driveC() / "\xE5\xAE\x89\xE8\xA3\x85.txt").string());
    auto wide = winlayer::UnixPathFromWide(u"C:\\\u5B89\u88C5.txt", &error);
    EXPECT_EQ(*wide, *unix);
}

TEST_F(PathsTest, LinuxPathsReadBackInWindowsForm) {
    EXPECT_EQ(winlayer::WindowsPathOf((winroot.driveC() / "a/b").string()), "C:\\a\\b");
    EXPECT_EQ(winlayer::WindowsPathOf("/usr/bin"), "Z:\\usr\\bin");
    EXPECT_EQ(winlayer::WindowsPathOf(winroot.driveC().string() + "x/y"),
              winlayer::WindowsPathOf(winroot.root().string()) + "\\drive_cx\\y");
}

}  // namespace
