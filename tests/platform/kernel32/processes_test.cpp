#include <windows.h>
#include <tlhelp32.h>

#include "winroot.h"

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <thread>

namespace {

namespace fs = std::filesystem;
constexpr DWORD kSentinel = 0xdeadbeef;

// Reads the record the stand-in client writes when it starts, waiting up to five seconds.
std::map<std::string, std::string> WaitForRecord(const fs::path& record) {
    std::map<std::string, std::string> values;
    for (int i = 0; i < 500 && !fs::exists(record); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::string text = testsupport::ReadFileBytes(record);
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        std::string line = text.substr(at, end - at);
        size_t eq = line.find('=');
        if (eq != std::string::npos)
            values[line.substr(0, eq)] = line.substr(eq + 1);
        at = end == std::string::npos ? text.size() : end + 1;
    }
    return values;
}

class ProcessesTest : public testsupport::WinRootTest {
  protected:
    ~ProcessesTest() override {
        for (pid_t pid : started_)
            kill(pid, SIGKILL);
    }

    // Copies the stand-in client to a place under C: (a relative Linux path below drive_c).
    void Install(const std::string& relative) {
        fs::path target = winroot.driveC() / relative;
        fs::create_directories(target.parent_path());
        fs::copy_file(FAKE_CLIENT, target, fs::copy_options::overwrite_existing);
    }

    // Starts a command line; returns the process information, remembering the process to end it.
    PROCESS_INFORMATION Start(std::u16string commandLine, LPCWSTR folder = nullptr,
                              void* environment = nullptr, DWORD flags = 0) {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        BOOL ok = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, flags,
                                 environment, folder, &startup, &info);
        EXPECT_TRUE(ok) << "error " << GetLastError();
        if (ok)
            started_.push_back(static_cast<pid_t>(info.dwProcessId));
        return info;
    }

    fs::path RecordPath() const { return winroot.root() / "record.txt"; }

    std::string RecordVariable() const { return "FAKE_CLIENT_RECORD=" + RecordPath().string(); }

  private:
    std::vector<pid_t> started_;
};

TEST_F(ProcessesTest, CreateProcessPassesArgumentsFolderAndEnvironment) {
    Install("Program Files/fake client.exe");
    fs::create_directories(winroot.driveC() / "work");
    std::string block = RecordVariable() + '\0' + "FAKE_CLIENT_MARK=given" + '\0' + '\0';
    PROCESS_INFORMATION info =
        Start(u"\"C:\\Program Files\\fake client.exe\" end \"two words\" a\\\"b x\\\\y",
              u"C:\\work", block.data());
    auto record = WaitForRecord(RecordPath());
    EXPECT_EQ(record["cwd"], (winroot.driveC() / "work").string());
    EXPECT_EQ(record["mark"], "given");
    EXPECT_EQ(record["argc"], "5");
    EXPECT_EQ(record["argv[0]"], "C:\\Program Files\\fake client.exe");
    EXPECT_EQ(record["argv[1]"], "end");
    EXPECT_EQ(record["argv[2]"], "two words");
    EXPECT_EQ(record["argv[3]"], "a\"b");
    EXPECT_EQ(record["argv[4]"], "x\\\\y");
    EXPECT_EQ(record["pid"], std::to_string(info.dwProcessId));
    EXPECT_EQ(getsid(static_cast<pid_t>(info.dwProcessId)), static_cast<pid_t>(info.dwProcessId))
        << "the program runs in its own session";

    EXPECT_EQ(WaitForSingleObject(info.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    DWORD code = kSentinel;
    EXPECT_TRUE(GetExitCodeProcess(info.hProcess, &code));
    EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
    EXPECT_TRUE(TerminateProcess(info.hProcess, 9));
    EXPECT_EQ(WaitForSingleObject(info.hProcess, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(info.hThread, 5000), WAIT_OBJECT_0);
    EXPECT_TRUE(GetExitCodeProcess(info.hProcess, &code));
    EXPECT_EQ(code, 9u) << "the code given to TerminateProcess";
    // Reaped: no zombie of ours is left behind.
    fs::path proc = "/proc/" + std::to_string(info.dwProcessId);
    for (int i = 0; i < 200 && fs::exists(proc); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(fs::exists(proc));
    EXPECT_TRUE(CloseHandle(info.hProcess));
    EXPECT_TRUE(CloseHandle(info.hThread));
}

TEST_F(ProcessesTest, NullEnvironmentPassesOursAndNullFolderKeepsOurs) {
    Install("helper.exe");  // the working folder is drive_c
    setenv("FAKE_CLIENT_RECORD", RecordPath().c_str(), 1);
    setenv("FAKE_CLIENT_MARK", "inherited", 1);
    // Named without folder or extension: found in the current folder with ".exe" appended.
    Start(u"helper end");
    unsetenv("FAKE_CLIENT_MARK");
    unsetenv("FAKE_CLIENT_RECORD");
    auto record = WaitForRecord(RecordPath());
    EXPECT_EQ(record["mark"], "inherited");
    EXPECT_EQ(record["cwd"], winroot.driveC().string());
    EXPECT_EQ(record["argv[0]"], "helper");
}

TEST_F(ProcessesTest, UnquotedProgramWithBlanksIsFoundByItsPrefixes) {
    Install("my app/fake.exe");
    std::string block = RecordVariable() + '\0' + '\0';
    Start(u"C:\\my app\\fake end", nullptr, block.data());
    auto record = WaitForRecord(RecordPath());
    // The program sees the line as the runtime splits it.
    EXPECT_EQ(record["argv[0]"], "C:\\my");
    EXPECT_EQ(record["argv[1]"], "app\\fake");
    EXPECT_EQ(record["argv[2]"], "end");
}

TEST_F(ProcessesTest, CreateProcessFailuresSetTheErrorAndClearTheOutput) {
    Install("ok.exe");
    testsupport::WriteFileBytes(winroot.driveC() / "text.exe", "not a program\n");
    fs::permissions(winroot.driveC() / "text.exe", fs::perms::owner_exec, fs::perm_options::add);
    struct Row {
        const WCHAR* application;
        std::u16string line;
        const WCHAR* folder;
        DWORD error;
    } rows[] = {
        {nullptr, u"C:\\missing.exe", nullptr, ERROR_FILE_NOT_FOUND},
        {nullptr, u"missing", nullptr, ERROR_FILE_NOT_FOUND},
        {nullptr, u"\"C:\\ok.exe\" end", u"C:\\no such folder", ERROR_DIRECTORY},
        {nullptr, u"C:\\text.exe", nullptr, ERROR_BAD_EXE_FORMAT},
        {u"C:\\ok", u"ok end", nullptr, ERROR_FILE_NOT_FOUND},  // no default extension here
    };
    for (Row& row : rows) {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info;
        std::memset(&info, 0xcc, sizeof info);
        SetLastError(kSentinel);
        EXPECT_FALSE(CreateProcessW(row.application, row.line.data(), nullptr, nullptr, FALSE, 0,
                                    nullptr, row.folder, &startup, &info));
        EXPECT_EQ(GetLastError(), row.error) << std::string(row.line.begin(), row.line.end());
        EXPECT_EQ(info.hProcess, nullptr);
        EXPECT_EQ(info.dwProcessId, 0u);
    }
    STARTUPINFOW startup{};
    PROCESS_INFORMATION info;
    SetLastError(kSentinel);
    EXPECT_FALSE(CreateProcessW(nullptr, nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                &startup, &info));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(ProcessesTest, HandlesDoOnlyWhatTheirAccessAllows) {
    Install("victim.exe");
    std::string block = RecordVariable() + '\0' + '\0';
    PROCESS_INFORMATION info = Start(u"C:\\victim.exe", nullptr, block.data());
    WaitForRecord(RecordPath());

    HANDLE waitOnly = OpenProcess(SYNCHRONIZE, FALSE, info.dwProcessId);
    HANDLE killOnly = OpenProcess(PROCESS_TERMINATE, FALSE, info.dwProcessId);
    ASSERT_NE(waitOnly, nullptr);
    ASSERT_NE(killOnly, nullptr);
    SetLastError(kSentinel);
    EXPECT_FALSE(TerminateProcess(waitOnly, 1));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    DWORD code = kSentinel;
    SetLastError(kSentinel);
    EXPECT_FALSE(GetExitCodeProcess(waitOnly, &code));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    SetLastError(kSentinel);
    EXPECT_EQ(WaitForSingleObject(killOnly, 0), WAIT_FAILED) << "no SYNCHRONIZE right";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(WaitForSingleObject(waitOnly, 0), static_cast<DWORD>(WAIT_TIMEOUT));

    EXPECT_TRUE(TerminateProcess(killOnly, 0));
    EXPECT_EQ(WaitForSingleObject(waitOnly, 5000), WAIT_OBJECT_0);
    SetLastError(kSentinel);
    EXPECT_FALSE(TerminateProcess(killOnly, 0)) << "an ended process cannot be terminated";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    CloseHandle(waitOnly);
    CloseHandle(killOnly);

    SetLastError(kSentinel);
    EXPECT_EQ(OpenProcess(PROCESS_TERMINATE, FALSE, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(kSentinel);
    EXPECT_FALSE(TerminateProcess(reinterpret_cast<HANDLE>(0x4321), 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(ProcessesTest, SnapshotsNameTheExecutableAndItsWindowsPath) {
    Install("inst/brivostel v9.5.exe");
    std::string block = RecordVariable() + '\0' + '\0';
    PROCESS_INFORMATION info =
        Start(u"\"C:\\inst\\brivostel v9.5.exe\" end", nullptr, block.data());
    WaitForRecord(RecordPath());

    HANDLE processes = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    ASSERT_NE(processes, INVALID_HANDLE_VALUE);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry - 1;
    SetLastError(kSentinel);
    EXPECT_FALSE(Process32FirstW(processes, &entry));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_LENGTH));
    entry.dwSize = sizeof entry;
    bool found = false;
    int count = 0;
    for (BOOL more = Process32FirstW(processes, &entry); more;
         more = Process32NextW(processes, &entry)) {
        ++count;
        if (entry.th32ProcessID == info.dwProcessId) {
            found = true;
            EXPECT_EQ(std::u16string(entry.szExeFile), u"brivostel v9.5.exe");
            EXPECT_EQ(entry.th32ParentProcessID, GetCurrentProcessId());
        }
    }
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    EXPECT_TRUE(found);
    EXPECT_GT(count, 1);
    EXPECT_TRUE(CloseHandle(processes));

    HANDLE modules = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, info.dwProcessId);
    ASSERT_NE(modules, INVALID_HANDLE_VALUE);
    MODULEENTRY32W module{};
    module.dwSize = sizeof module;
    ASSERT_TRUE(Module32FirstW(modules, &module));
    EXPECT_EQ(std::u16string(module.szExePath), u"C:\\inst\\brivostel v9.5.exe");
    EXPECT_EQ(std::u16string(module.szModule), u"brivostel v9.5.exe");
    EXPECT_EQ(module.th32ProcessID, info.dwProcessId);
    EXPECT_TRUE(CloseHandle(modules));

    SetLastError(kSentinel);
    EXPECT_EQ(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, 0x7ffffff0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace
