#include <windows.h>

#include "winroot.h"

#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

namespace {

constexpr DWORD kSentinel = 0xdeadbeef;

class FilesTest : public testsupport::WinRootTest {
  protected:
    std::filesystem::path OnDisk(const char* name) { return winroot.driveC() / name; }
};

DWORD SizeOf(HANDLE file) {
    return GetFileSize(file, nullptr);
}

TEST_F(FilesTest, CreationDispositionsFollowWin32) {
    struct Row {
        DWORD disposition;
        bool exists;
        bool opens;
        DWORD error;
        DWORD sizeAfter;  // of the file holding "abc" before the call
    } rows[] = {
        {CREATE_NEW, false, true, ERROR_SUCCESS, 0},
        {CREATE_NEW, true, false, ERROR_FILE_EXISTS, 3},
        {CREATE_ALWAYS, false, true, ERROR_SUCCESS, 0},
        {CREATE_ALWAYS, true, true, ERROR_ALREADY_EXISTS, 0},
        {OPEN_EXISTING, false, false, ERROR_FILE_NOT_FOUND, 0},
        {OPEN_EXISTING, true, true, ERROR_SUCCESS, 3},
        {OPEN_ALWAYS, false, true, ERROR_SUCCESS, 0},
        {OPEN_ALWAYS, true, true, ERROR_ALREADY_EXISTS, 3},
        {TRUNCATE_EXISTING, false, false, ERROR_FILE_NOT_FOUND, 0},
        {TRUNCATE_EXISTING, true, true, ERROR_SUCCESS, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message()
                     << "disposition " << row.disposition << " exists " << row.exists);
        std::filesystem::remove(OnDisk("f.txt"));
        if (row.exists)
            testsupport::WriteFileBytes(OnDisk("f.txt"), "abc");
        SetLastError(kSentinel);
        HANDLE file = CreateFileA("C:\\f.txt", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  row.disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_EQ(GetLastError(), row.error);
        EXPECT_EQ(file != INVALID_HANDLE_VALUE, row.opens);
        if (file != INVALID_HANDLE_VALUE) {
            EXPECT_EQ(SizeOf(file), row.sizeAfter);
            EXPECT_TRUE(CloseHandle(file));
        }
        EXPECT_EQ(std::filesystem::exists(OnDisk("f.txt")), row.exists || row.opens);
    }
}

TEST_F(FilesTest, MissingFolderIsPathNotFound) {
    for (DWORD disposition : {CREATE_NEW, CREATE_ALWAYS, OPEN_EXISTING, OPEN_ALWAYS}) {
        SetLastError(kSentinel);
        EXPECT_EQ(
            CreateFileA("C:\\missing\\f.txt", GENERIC_WRITE, 0, nullptr, disposition, 0, nullptr),
            INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND)) << disposition;
    }
}

TEST_F(FilesTest, ShareModesBetweenHandles) {
    const DWORD R = GENERIC_READ, W = GENERIC_WRITE, SR = FILE_SHARE_READ, SW = FILE_SHARE_WRITE;
    struct Row {
        DWORD access1, share1, access2, share2;
        bool allowed;
    } rows[] = {
        {R, 0, R, SR | SW, false},  {R, SR, R, SR, true},      {R, SR, W, SR | SW, false},
        {W, SR, R, SR, false},      {W, SR, R, SR | SW, true}, {R | W, SR | SW, W, SR | SW, true},
        {R, SR | SW, R, SW, false}, {W, SW, W, SW, true},      {R, SR, R, 0, false},
    };
    testsupport::WriteFileBytes(OnDisk("s.txt"), "x");
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.access1 << "/" << row.share1 << " then "
                                        << row.access2 << "/" << row.share2);
        HANDLE first =
            CreateFileA("C:\\s.txt", row.access1, row.share1, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(first, INVALID_HANDLE_VALUE);
        SetLastError(kSentinel);
        HANDLE second =
            CreateFileA("c:/S.TXT", row.access2, row.share2, nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_EQ(second != INVALID_HANDLE_VALUE, row.allowed);
        EXPECT_EQ(GetLastError(), row.allowed ? ERROR_SUCCESS : ERROR_SHARING_VIOLATION);
        if (second != INVALID_HANDLE_VALUE)
            CloseHandle(second);
        CloseHandle(first);
    }
}

TEST_F(FilesTest, ExclusiveFileOpensAgainOnlyAfterClose) {
    HANDLE first = CreateFileA("C:\\x.bin", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    SetLastError(kSentinel);
    EXPECT_EQ(CreateFileA("C:\\x.bin", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    ASSERT_TRUE(CloseHandle(first));
    HANDLE again = CreateFileA("C:\\x.bin", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(again, INVALID_HANDLE_VALUE);
    CloseHandle(again);
}

// Runs `child` in a forked process and returns its exit status.
template <class F>
int InChildProcess(F child) {
    pid_t pid = fork();
    if (pid == 0)
        _exit(child());
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(FilesTest, ShareModeZeroIsSeenByOtherProcesses) {
    HANDLE file = CreateFileA("C:\\p.bin", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    std::string path = OnDisk("p.bin").string();
    int result = InChildProcess([&] {
        int fd = open(path.c_str(), O_RDONLY);
        return flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK ? 0 : 1;
    });
    EXPECT_EQ(result, 0) << "another process must find the file locked";
    CloseHandle(file);
}

TEST_F(FilesTest, FileOpenInAnotherProcessRefusesExclusiveOpen) {
    testsupport::WriteFileBytes(OnDisk("q.bin"), "q");
    std::string path = OnDisk("q.bin").string();
    int ready[2];
    int done[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(done), 0);
    pid_t pid = fork();
    if (pid == 0) {
        int fd = open(path.c_str(), O_RDONLY);
        flock(fd, LOCK_SH);
        char c = 1;
        (void)!write(ready[1], &c, 1);
        (void)!read(done[0], &c, 1);
        _exit(0);
    }
    char c;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    SetLastError(kSentinel);
    HANDLE exclusive =
        CreateFileA("C:\\q.bin", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(exclusive, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    HANDLE shared =
        CreateFileA("C:\\q.bin", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(shared, INVALID_HANDLE_VALUE);
    CloseHandle(shared);
    (void)!write(done[1], &c, 1);
    waitpid(pid, nullptr, 0);
    for (int fd : {ready[0], ready[1], done[0], done[1]})
        close(fd);
}

TEST_F(FilesTest, ReadOnlyFilesRefuseWritingEvenForRoot) {
    struct Row {
        DWORD access;
        DWORD disposition;
        bool opens;
    } rows[] = {
        {GENERIC_READ, OPEN_EXISTING, true},  {GENERIC_WRITE, OPEN_EXISTING, false},
        {GENERIC_READ, OPEN_ALWAYS, true},    {GENERIC_WRITE, OPEN_ALWAYS, false},
        {GENERIC_READ, CREATE_ALWAYS, false}, {GENERIC_WRITE, TRUNCATE_EXISTING, false},
    };
    testsupport::WriteFileBytes(OnDisk("ro1.txt"), "keep");
    std::filesystem::permissions(
        OnDisk("ro1.txt"), std::filesystem::perms::owner_read | std::filesystem::perms::group_read);
    testsupport::WriteFileBytes(OnDisk("ro2.txt"), "keep");
    ASSERT_TRUE(SetFileAttributesA("C:\\ro2.txt", FILE_ATTRIBUTE_READONLY));
    for (const char* name : {"C:\\ro1.txt", "C:\\ro2.txt"}) {
        for (const Row& row : rows) {
            SCOPED_TRACE(testing::Message() << name << " " << row.access << " " << row.disposition);
            SetLastError(kSentinel);
            HANDLE file = CreateFileA(name, row.access, 0, nullptr, row.disposition, 0, nullptr);
            EXPECT_EQ(file != INVALID_HANDLE_VALUE, row.opens);
            if (file != INVALID_HANDLE_VALUE)
                CloseHandle(file);
            else
                EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
        }
    }
    EXPECT_EQ(testsupport::ReadFileBytes(OnDisk("ro1.txt")), "keep");
    EXPECT_EQ(testsupport::ReadFileBytes(OnDisk("ro2.txt")), "keep");
}

TEST_F(FilesTest, CreatedExeFilesAreExecutable) {
    struct Row {
        const char* name;
        bool executable;
    } rows[] = {
        {"C:\\run.exe", true}, {"C:\\RUN2.EXE", true}, {"C:\\data.txt", false}, {"C:\\exe", false}};
    for (const Row& row : rows) {
        HANDLE file = CreateFileA(row.name, GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << row.name;
        CloseHandle(file);
        struct stat st;
        ASSERT_EQ(stat((winroot.driveC() / (row.name + 3)).c_str(), &st), 0);
        EXPECT_EQ((st.st_mode & S_IXUSR) != 0, row.executable) << row.name;
    }
}

TEST_F(FilesTest, GbkNamesReachDiskAsUtf8AndOpenWithoutRegardToCase) {
    std::filesystem::create_directories(OnDisk("Data"));
    // "C:\data\安装.TXT" in code page 936
    HANDLE file = CreateFileA("C:\\data\\\xB0\xB2\xD7\xB0.TXT", GENERIC_WRITE, 0, nullptr,
                              CREATE_NEW, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file, "gbk", 3, &written, nullptr));
    CloseHandle(file);
    EXPECT_EQ(testsupport::ReadFileBytes(OnDisk("Data/\xE5\xAE\x89\xE8\xA3\x85.TXT")), "gbk");

    HANDLE wide = CreateFileW(u"c:\\DATA\\\u5B89\u88C5.txt", GENERIC_READ, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(wide, INVALID_HANDLE_VALUE);
    char buffer[8] = {};
    DWORD read = 0;
    EXPECT_TRUE(ReadFile(wide, buffer, sizeof buffer, &read, nullptr));
    EXPECT_EQ(std::string(buffer, read), "gbk");
    CloseHandle(wide);
}

TEST_F(FilesTest, ReadAndWriteRespectTheHandlesAccess) {
    HANDLE writer = CreateFileA("C:\\rw.bin", GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    DWORD count = kSentinel;
    EXPECT_TRUE(WriteFile(writer, "hello", 5, &count, nullptr));
    EXPECT_EQ(count, 5u);
    char buffer[16];
    count = kSentinel;
    SetLastError(kSentinel);
    EXPECT_FALSE(ReadFile(writer, buffer, sizeof buffer, &count, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(count, 0u);

    HANDLE reader = CreateFileA("C:\\rw.bin", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    SetLastError(kSentinel);
    EXPECT_FALSE(WriteFile(reader, "x", 1, &count, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(ReadFile(reader, buffer, 3, &count, nullptr));
    EXPECT_EQ(std::string(buffer, count), "hel");
    EXPECT_TRUE(ReadFile(reader, buffer, sizeof buffer, &count, nullptr));
    EXPECT_EQ(std::string(buffer, count), "lo");
    EXPECT_TRUE(ReadFile(reader, buffer, sizeof buffer, &count, nullptr)) << "end of file";
    EXPECT_EQ(count, 0u);
    CloseHandle(reader);
    CloseHandle(writer);

    SetLastError(kSentinel);
    EXPECT_FALSE(ReadFile(writer, buffer, 1, &count, nullptr)) << "closed handle";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(FilesTest, FileSizeHasAHighPart) {
    HANDLE file = CreateFileA("C:\\big.bin", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    ASSERT_EQ(truncate(OnDisk("big.bin").c_str(), (1LL << 32) + 7), 0);
    DWORD high = kSentinel;
    EXPECT_EQ(GetFileSize(file, &high), 7u);
    EXPECT_EQ(high, 1u);
    CloseHandle(file);
    SetLastError(kSentinel);
    EXPECT_EQ(GetFileSize(file, nullptr), INVALID_FILE_SIZE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(FilesTest, FileTimesReadBackAsSet) {
    HANDLE file = CreateFileA("C:\\t.bin", GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    FILETIME creation{}, access{}, write{};
    ASSERT_TRUE(GetFileTime(file, &creation, &access, &write));
    EXPECT_EQ(creation.dwLowDateTime, write.dwLowDateTime) << "no creation time set: last write";
    EXPECT_EQ(creation.dwHighDateTime, write.dwHighDateTime);

    // 2024-02-29 12:34:56.789 and 1999-12-31 23:59:58 UTC
    const FILETIME created{static_cast<DWORD>(133536836967890000ULL),
                           static_cast<DWORD>(133536836967890000ULL >> 32)};
    const ULONGLONG writeTicks = 125911583980000000ULL;
    const FILETIME written{static_cast<DWORD>(writeTicks), static_cast<DWORD>(writeTicks >> 32)};
    ASSERT_TRUE(SetFileTime(file, &created, nullptr, &written));
    CloseHandle(file);

    file = CreateFileA("C:\\t.bin", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_TRUE(GetFileTime(file, &creation, nullptr, &write));
    EXPECT_EQ(creation.dwLowDateTime, created.dwLowDateTime);
    EXPECT_EQ(creation.dwHighDateTime, created.dwHighDateTime);
    EXPECT_EQ(write.dwLowDateTime, written.dwLowDateTime);
    EXPECT_EQ(write.dwHighDateTime, written.dwHighDateTime);
    SetLastError(kSentinel);
    EXPECT_FALSE(SetFileTime(file, &created, nullptr, nullptr)) << "read-only handle";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    CloseHandle(file);
}

TEST_F(FilesTest, FoldersCannotBeOpenedAsFiles) {
    std::filesystem::create_directories(OnDisk("folder"));
    SetLastError(kSentinel);
    EXPECT_EQ(CreateFileA("C:\\folder", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

}  // namespace
