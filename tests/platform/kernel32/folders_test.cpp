#include <windows.h>

#include "winroot.h"

#include <sys/stat.h>

#include <cstring>
#include <filesystem>

namespace {

constexpr DWORD kSentinel = 0xdeadbeef;

class FoldersTest : public testsupport::WinRootTest {};

TEST_F(FoldersTest, CreateDirectoryReportsExistingAndMissingParents) {
    struct Row {
        const char* path;
        BOOL result;
        DWORD error;
    } rows[] = {
        {"C:\\one", TRUE, kSentinel},
        {"C:\\one", FALSE, ERROR_ALREADY_EXISTS},
        {"c:\\ONE\\two\\", TRUE, kSentinel},
        {"C:\\missing\\child", FALSE, ERROR_PATH_NOT_FOUND},
        {"C:\\one\\bad|name", FALSE, ERROR_INVALID_NAME},
    };
    for (const Row& row : rows) {
        SetLastError(kSentinel);
        EXPECT_EQ(CreateDirectoryA(row.path, nullptr), row.result) << row.path;
        EXPECT_EQ(GetLastError(), row.error) << row.path;
    }
    EXPECT_TRUE(std::filesystem::is_directory(winroot.driveC() / "one/two"));
    EXPECT_TRUE(CreateDirectoryW(u"C:\\\u5B89\u88C5", nullptr));
    EXPECT_TRUE(std::filesystem::is_directory(winroot.driveC() / "\xE5\xAE\x89\xE8\xA3\x85"));
}

TEST_F(FoldersTest, RemoveDirectoryAndDeleteFileRefuseTheWrongKind) {
    testsupport::WriteFileBytes(winroot.driveC() / "full/f.txt", "x");
    testsupport::WriteFileBytes(winroot.driveC() / "ro.txt", "x");
    chmod((winroot.driveC() / "ro.txt").c_str(), 0444);
    std::filesystem::create_directories(winroot.driveC() / "empty");
    struct Row {
        BOOL (*call)(LPCSTR);
        const char* path;
        BOOL result;
        DWORD error;
    } rows[] = {
        {RemoveDirectoryA, "C:\\full", FALSE, ERROR_DIR_NOT_EMPTY},
        {RemoveDirectoryA, "C:\\full\\f.txt", FALSE, ERROR_DIRECTORY},
        {RemoveDirectoryA, "C:\\nothing", FALSE, ERROR_FILE_NOT_FOUND},
        {RemoveDirectoryA, "C:\\EMPTY", TRUE, kSentinel},
        {DeleteFileA, "C:\\full", FALSE, ERROR_ACCESS_DENIED},
        {DeleteFileA, "C:\\ro.txt", FALSE, ERROR_ACCESS_DENIED},
        {DeleteFileA, "C:\\nothing.txt", FALSE, ERROR_FILE_NOT_FOUND},
        {DeleteFileA, "C:\\nowhere\\f.txt", FALSE, ERROR_PATH_NOT_FOUND},
        {DeleteFileA, "C:\\FULL\\F.TXT", TRUE, kSentinel},
    };
    for (const Row& row : rows) {
        SetLastError(kSentinel);
        EXPECT_EQ(row.call(row.path), row.result) << row.path;
        EXPECT_EQ(GetLastError(), row.error) << row.path;
    }
    EXPECT_FALSE(std::filesystem::exists(winroot.driveC() / "empty"));
    EXPECT_FALSE(std::filesystem::exists(winroot.driveC() / "full/f.txt"));
}

TEST_F(FoldersTest, DeleteFileHonoursTheShareModeOfOpenHandles) {
    testsupport::WriteFileBytes(winroot.driveC() / "open.txt", "x");
    HANDLE file = CreateFileA("C:\\open.txt", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    SetLastError(kSentinel);
    EXPECT_FALSE(DeleteFileA("C:\\open.txt"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    CloseHandle(file);
    file = CreateFileA("C:\\open.txt", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, 0, nullptr);
    EXPECT_TRUE(DeleteFileA("C:\\open.txt"));
    CloseHandle(file);
}

TEST_F(FoldersTest, AttributesReflectKindAndWritePermission) {
    testsupport::WriteFileBytes(winroot.driveC() / "a.txt", "x");
    std::filesystem::create_directories(winroot.driveC() / "dir");
    EXPECT_EQ(GetFileAttributesA("C:\\dir"), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(GetFileAttributesA("C:\\A.TXT"), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_TRUE(SetFileAttributesA("C:\\a.txt", FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(GetFileAttributesW(u"C:\\a.txt"),
              static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY));
    struct stat st;
    ASSERT_EQ(stat((winroot.driveC() / "a.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0222, 0u);
    EXPECT_TRUE(SetFileAttributesA("C:\\a.txt", FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(GetFileAttributesA("C:\\a.txt"), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));

    struct Row {
        const char* path;
        DWORD error;
    } missing[] = {{"C:\\none.txt", ERROR_FILE_NOT_FOUND},
                   {"C:\\none\\x.txt", ERROR_PATH_NOT_FOUND},
                   {"C:\\a.txt\\x", ERROR_PATH_NOT_FOUND}};
    for (const Row& row : missing) {
        SetLastError(kSentinel);
        EXPECT_EQ(GetFileAttributesA(row.path), INVALID_FILE_ATTRIBUTES) << row.path;
        EXPECT_EQ(GetLastError(), row.error) << row.path;
        SetLastError(kSentinel);
        EXPECT_FALSE(SetFileAttributesA(row.path, FILE_ATTRIBUTE_NORMAL)) << row.path;
        EXPECT_EQ(GetLastError(), row.error) << row.path;
    }
}

TEST_F(FoldersTest, FullPathNameFollowsTheBufferRules) {
    // "C:\a\安装" is 9 bytes in code page 936.
    const char* input = "c:/a/b/../\xB0\xB2\xD7\xB0";
    const char* expected = "C:\\a\\\xB0\xB2\xD7\xB0";
    const DWORD length = 9;
    struct Row {
        DWORD bufferLength;
        DWORD result;
        bool written;
    } rows[] = {{length + 1, length, true},
                {length + 20, length, true},
                {length, length + 1, false},
                {0, length + 1, false}};
    for (const Row& row : rows) {
        char buffer[64];
        std::memset(buffer, '#', sizeof buffer);
        char* filePart = reinterpret_cast<char*>(1);
        EXPECT_EQ(GetFullPathNameA(input, row.bufferLength, buffer, &filePart), row.result)
            << row.bufferLength;
        if (row.written) {
            EXPECT_STREQ(buffer, expected);
            EXPECT_EQ(filePart, buffer + 5);
        } else {
            EXPECT_EQ(buffer[0], '#') << "nothing is written to a buffer that is too small";
        }
    }
    WCHAR wide[64];
    WCHAR* widePart = nullptr;
    EXPECT_EQ(GetFullPathNameW(u"C:\\a\\\u5B89\u88C5", 64, wide, &widePart), 7u);
    EXPECT_EQ(std::u16string(wide), u"C:\\a\\\u5B89\u88C5");
    EXPECT_EQ(widePart, wide + 5);
    EXPECT_EQ(GetFullPathNameW(u"C:\\a\\\u5B89\u88C5", 7, wide, &widePart), 8u);

    char buffer[64];
    char* filePart = buffer;
    EXPECT_EQ(GetFullPathNameA("C:\\dir\\", sizeof buffer, buffer, &filePart), 7u);
    EXPECT_STREQ(buffer, "C:\\dir\\");
    EXPECT_EQ(filePart, nullptr) << "a path ending in a separator has no file part";

    // The working directory (drive_c here) is on C:.
    EXPECT_EQ(GetFullPathNameA("rel\\f.txt", sizeof buffer, buffer, &filePart), 12u);
    EXPECT_STREQ(buffer, "C:\\rel\\f.txt");
    EXPECT_EQ(filePart, buffer + 7);
}

}  // namespace
