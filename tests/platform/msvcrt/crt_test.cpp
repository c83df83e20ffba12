#include <windows.h>
#include <io.h>
#include <process.h>

#include "winroot.h"

#include <share.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace {

class CrtTest : public testsupport::WinRootTest {};

TEST_F(CrtTest, FopenModesAndTheirErrors) {
    testsupport::WriteFileBytes(winroot.driveC() / "old.log", "old\r\n");
    struct Row {
        const char* name;
        const char* mode;
        errno_t result;
    } rows[] = {
        {"C:\\old.log", "rb", 0},      {"C:\\OLD.LOG", "rt", 0},
        {"C:\\old.log", "ab+", 0},     {"C:\\new.log", "wb", 0},
        {"C:\\none.log", "r", ENOENT}, {"C:\\nowhere\\x.log", "wb", ENOENT},
        {"C:\\old.log", "x", EINVAL},  {"C:\\old.log", "rbb", EINVAL},
        {"C:\\old.log", "", EINVAL},   {"C:\\bad|name", "wb", ENOENT},
    };
    for (const Row& row : rows) {
        FILE* file = reinterpret_cast<FILE*>(1);
        EXPECT_EQ(fopen_s(&file, row.name, row.mode), row.result) << row.name << " " << row.mode;
        if (row.result == 0) {
            ASSERT_NE(file, nullptr);
            fclose(file);
        } else {
            EXPECT_EQ(file, nullptr) << "the output is cleared on failure";
        }
    }
    FILE* file = reinterpret_cast<FILE*>(1);
    EXPECT_EQ(fopen_s(&file, "C:\\old.log", nullptr), EINVAL);
    EXPECT_EQ(file, nullptr);
    EXPECT_EQ(fopen_s(nullptr, "C:\\old.log", "rb"), EINVAL);
}

TEST_F(CrtTest, FopenWritesBytesUnchangedAndAppends) {
    FILE* file = nullptr;
    ASSERT_EQ(fopen_s(&file, "C:\\log\\..\\install.log", "wb"), 0);
    fwrite("one\r\n", 5, 1, file);
    fclose(file);
    ASSERT_EQ(fopen_s(&file, "c:/INSTALL.log", "ab+"), 0);
    fwrite("two\r\n", 5, 1, file);
    fclose(file);
    EXPECT_EQ(testsupport::ReadFileBytes(winroot.driveC() / "install.log"), "one\r\ntwo\r\n");
    ASSERT_EQ(fopen_s(&file, "C:\\install.log", "wb"), 0) << "w truncates";
    fclose(file);
    EXPECT_EQ(testsupport::ReadFileBytes(winroot.driveC() / "install.log"), "");
}

TEST_F(CrtTest, FopenRefusesWritingReadOnlyFilesAndFolders) {
    testsupport::WriteFileBytes(winroot.driveC() / "ro.ini", "keep");
    chmod((winroot.driveC() / "ro.ini").c_str(), 0444);
    std::filesystem::create_directories(winroot.driveC() / "folder");
    struct Row {
        const char* name;
        const char* mode;
        errno_t result;
    } rows[] = {{"C:\\ro.ini", "rb", 0},
                {"C:\\ro.ini", "wb", EACCES},
                {"C:\\ro.ini", "ab", EACCES},
                {"C:\\ro.ini", "r+b", EACCES},
                {"C:\\folder", "rb", EACCES}};
    for (const Row& row : rows) {
        FILE* file = nullptr;
        EXPECT_EQ(fopen_s(&file, row.name, row.mode), row.result) << row.name << " " << row.mode;
        if (file)
            fclose(file);
    }
    EXPECT_EQ(testsupport::ReadFileBytes(winroot.driveC() / "ro.ini"), "keep");
}

TEST_F(CrtTest, AccessChecksExistenceAndWritability) {
    testsupport::WriteFileBytes(winroot.driveC() / "rw.txt", "x");
    testsupport::WriteFileBytes(winroot.driveC() / "ro.txt", "x");
    chmod((winroot.driveC() / "ro.txt").c_str(), 0444);
    struct Row {
        const char* path;
        int mode;
        int result;
        int error;
    } rows[] = {
        {"C:\\rw.txt", 0, 0, 0},       {"C:\\RW.TXT", 6, 0, 0},
        {"C:\\ro.txt", 4, 0, 0},       {"C:\\ro.txt", 2, -1, EACCES},
        {"C:\\ro.txt", 6, -1, EACCES}, {"C:\\none", 0, -1, ENOENT},
        {"C:\\rw.txt", 1, -1, EINVAL}, {"C:\\", 2, 0, 0},
    };
    for (const Row& row : rows) {
        errno = 0;
        EXPECT_EQ(_access(row.path, row.mode), row.result) << row.path << " " << row.mode;
        if (row.result != 0) {
            EXPECT_EQ(errno, row.error) << row.path << " " << row.mode;
        }
    }
}

TEST_F(CrtTest, RenameMovesFilesAndFoldersButNeverReplaces) {
    testsupport::WriteFileBytes(winroot.driveC() / "Local/stagetemp/log/install.log", "log");
    testsupport::WriteFileBytes(winroot.driveC() / "a.txt", "a");
    testsupport::WriteFileBytes(winroot.driveC() / "b.txt", "b");
    struct Row {
        const char* from;
        const char* to;
        int result;
        int error;
    } rows[] = {
        {"C:\\local\\stagetemp", "C:\\Local\\stage", 0, 0},
        {"C:\\a.txt", "C:\\b.txt", -1, EACCES},
        {"C:\\missing.txt", "C:\\c.txt", -1, ENOENT},
        {"C:\\a.txt", "C:\\\xB0\xB2\xD7\xB0.txt", 0, 0},  // "安装.txt" in code page 936
    };
    for (const Row& row : rows) {
        errno = 0;
        EXPECT_EQ(rename(row.from, row.to), row.result) << row.from;
        if (row.result != 0) {
            EXPECT_EQ(errno, row.error) << row.from;
        }
    }
    EXPECT_EQ(testsupport::ReadFileBytes(winroot.driveC() / "Local/stage/log/install.log"), "log");
    EXPECT_EQ(testsupport::ReadFileBytes(winroot.driveC() / "b.txt"), "b");
    EXPECT_EQ(testsupport::ReadFileBytes(winroot.driveC() / "\xE5\xAE\x89\xE8\xA3\x85.txt"), "a");
}

TEST_F(CrtTest, RenameRefusesFolderHoldingFileOpenWithoutDeleteSharing) {
    testsupport::WriteFileBytes(winroot.driveC() / "app/log/install.log", "log");
    testsupport::WriteFileBytes(winroot.driveC() / "app/bin/client.exe", "exe");

    FILE* log = nullptr;
    ASSERT_EQ(fopen_s(&log, "C:\\app\\log\\install.log", "ab+"), 0);
    errno = 0;
    EXPECT_EQ(rename("C:\\app", "C:\\app2"), -1);  // the runtime's files never share deletion
    EXPECT_EQ(errno, EACCES);
    fclose(log);

    HANDLE shared =
        CreateFileA("C:\\app\\bin\\client.exe", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(shared, INVALID_HANDLE_VALUE);
    EXPECT_EQ(rename("C:\\app", "C:\\app2"), 0);
    CloseHandle(shared);

    // Another process holding a file open without delete sharing.
    int ready[2];
    int release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        HANDLE held = CreateFileA("C:\\app2\\bin\\client.exe", GENERIC_WRITE, FILE_SHARE_READ,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
        char c = held == INVALID_HANDLE_VALUE ? 'n' : 'y';
        (void)!write(ready[1], &c, 1);
        (void)!read(release[0], &c, 1);
        _exit(0);
    }
    char opened = 0;
    ASSERT_EQ(read(ready[0], &opened, 1), 1);
    EXPECT_EQ(opened, 'y');
    errno = 0;
    EXPECT_EQ(rename("C:\\app2", "C:\\app3"), -1);
    EXPECT_EQ(errno, EACCES);
    EXPECT_EQ(rename("C:\\app2\\bin\\client.exe", "C:\\app2\\client.exe"), -1);
    EXPECT_FALSE(DeleteFileA("C:\\app2\\bin\\client.exe"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    (void)!write(release[1], "x", 1);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_EQ(rename("C:\\app2", "C:\\app3"), 0);
    for (int fd : {ready[0], ready[1], release[0], release[1]})
        close(fd);
}

TEST_F(CrtTest, FsopenSharesReadingAndWritingAndSeeksPast4GiB) {
    FILE* file = _fsopen("C:\\body.bin", "w+b", _SH_DENYNO);
    ASSERT_NE(file, nullptr);
    HANDLE other = CreateFileA("C:\\body.bin", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(other, INVALID_HANDLE_VALUE);
    CloseHandle(other);
    EXPECT_EQ(_fseeki64(file, 5LL << 30, SEEK_SET), 0);
    EXPECT_EQ(_ftelli64(file), 5LL << 30);
    fclose(file);
    errno = 0;
    EXPECT_EQ(_fsopen("C:\\body.bin", "w+b", 0), nullptr);
    EXPECT_EQ(errno, EINVAL);
}

TEST(Atoi64, SkipsBlanksStopsAtTheFirstOtherCharacterAndSaturates) {
    struct Row {
        const char* text;
        long long value;
    } rows[] = {
        {"", 0},
        {" 987", 987},
        {"abc", 0},
        {"-42x7", -42},
        {"+20261209", 20261209},
        {"99999999999999999999", 9223372036854775807LL},
        {"-99999999999999999999", -9223372036854775807LL - 1},
    };
    for (const Row& row : rows)
        EXPECT_EQ(_atoi64(row.text), row.value) << row.text;
}

std::atomic<int> threadRuns{0};
std::atomic<DWORD> threadSeenId{0};

unsigned __stdcall CountingThread(void* argument) {
    threadSeenId = GetCurrentThreadId();
    threadRuns += *static_cast<int*>(argument);
    return 7;
}

unsigned __stdcall WaitingThread(void* argument) {
    auto* release = static_cast<std::atomic<bool>*>(argument);
    while (!*release)
        Sleep(1);
    return 0;
}

TEST(BeginThreadEx, ThreadsAreWaitableHandles) {
    int increment = 3;
    unsigned id = 0;
    HANDLE thread =
        reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, CountingThread, &increment, 0, &id));
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(threadRuns.load(), 3);
    EXPECT_EQ(threadSeenId.load(), id);
    EXPECT_NE(id, GetCurrentThreadId());
    EXPECT_TRUE(CloseHandle(thread));

    std::atomic<bool> release{false};
    thread =
        reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, WaitingThread, &release, 0, nullptr));
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, 20), static_cast<DWORD>(WAIT_TIMEOUT));
    release = true;
    EXPECT_EQ(WaitForSingleObject(thread, 5000), static_cast<DWORD>(WAIT_OBJECT_0));
    CloseHandle(thread);

    errno = 0;
    EXPECT_EQ(_beginthreadex(nullptr, 0, nullptr, nullptr, 0, nullptr), 0u);
    EXPECT_EQ(errno, EINVAL);
}

}  // namespace
