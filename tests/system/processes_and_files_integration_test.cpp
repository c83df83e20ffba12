// Real processes: the stand-in client installed as the client's executable.
#include <windows.h>

#include "core/settings.h"
#include "system/processes_and_files.h"
#include "winroot.h"

#include <signal.h>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <thread>

namespace {

namespace fs = std::filesystem;

class ClientProcessTest : public testsupport::WinRootTest {
  protected:
    ~ClientProcessTest() override {
        for (pid_t pid : started_)
            kill(pid, SIGKILL);
        for (HANDLE handle : handles_)
            CloseHandle(handle);
        unsetenv("FAKE_CLIENT_RECORD");
        GetInstallerSettings().installFolder.clear();
    }

    fs::path C(const std::string& relative) const { return winroot.driveC() / relative; }

    void Install(const std::string& relative) {
        fs::create_directories(C(relative).parent_path());
        fs::copy_file(FAKE_CLIENT, C(relative));
    }

    // Starts a copy; returns its process handle.
    HANDLE Start(const std::u16string& windowsPath) {
        std::u16string line = u"\"" + windowsPath + u"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        EXPECT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   nullptr, &startup, &info));
        started_.push_back(static_cast<pid_t>(info.dwProcessId));
        handles_.push_back(info.hProcess);
        handles_.push_back(info.hThread);
        return info.hProcess;
    }

    void Track(pid_t pid) { started_.push_back(pid); }

  private:
    std::vector<pid_t> started_;
    std::vector<HANDLE> handles_;
};

bool Running(HANDLE process) {
    return WaitForSingleObject(process, 0) == static_cast<DWORD>(WAIT_TIMEOUT);
}

TEST_F(ClientProcessTest, EndRunningCopyEndsOnlyTheFirstCopyAtTheExactPath) {
    GetInstallerSettings().installFolder = "C:\\apps\\Inst";
    Install("apps/Inst/brivostel v9.5.exe");
    Install("apps/other/brivostel v9.5.exe");
    Install("apps/INST/brivostel v9.5.exe");
    Install("apps/Inst/BRIVOSTEL V9.5.EXE");
    HANDLE first = Start(u"C:\\apps\\Inst\\brivostel v9.5.exe");
    HANDLE second = Start(u"C:\\apps\\Inst\\brivostel v9.5.exe");
    HANDLE elsewhere = Start(u"C:\\apps\\other\\brivostel v9.5.exe");
    HANDLE otherCaseFolder = Start(u"C:\\apps\\INST\\brivostel v9.5.exe");
    HANDLE otherCaseName = Start(u"C:\\apps\\Inst\\BRIVOSTEL V9.5.EXE");
    // The snapshot lists processes by id; the lower id comes first.
    if (GetProcessId(second) < GetProcessId(first))
        std::swap(first, second);

    auto began = std::chrono::steady_clock::now();
    EndRunningCopy(u"brivostel v9.5.exe");
    auto took = std::chrono::steady_clock::now() - began;

    EXPECT_EQ(WaitForSingleObject(first, 1000), WAIT_OBJECT_0) << "the copy at the exact path";
    EXPECT_TRUE(Running(second)) << "only one copy is ended";
    EXPECT_TRUE(Running(elsewhere));
    EXPECT_TRUE(Running(otherCaseFolder));
    EXPECT_TRUE(Running(otherCaseName));
    EXPECT_GE(took, std::chrono::milliseconds(2500)) << "it pauses after ending a copy";
}

// A client that is slow to die (held in its exit by a tracer for 3 s, as one that still closes
// its files would be) has ended when EndRunningCopy returns: its wait of up to 5 s needs a
// handle opened with SYNCHRONIZE, without which it fails at once.
TEST_F(ClientProcessTest, EndRunningCopyWaitsForAClientThatIsSlowToDie) {
    GetInstallerSettings().installFolder = "C:\\apps\\Inst";
    Install("apps/Inst/brivostel v9.5.exe");
    HANDLE client = Start(u"C:\\apps\\Inst\\brivostel v9.5.exe");
    const pid_t pid = static_cast<pid_t>(GetProcessId(client));
    // The tracer is a process of its own: the layer's reaper thread, which waits for the client
    // as its parent, must not take the tracer's stops.
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t tracer = fork();
    if (tracer == 0) {
        close(ready[0]);
        const char attached = ptrace(PTRACE_SEIZE, pid, nullptr, PTRACE_O_TRACEEXIT) == 0;
        [[maybe_unused]] ssize_t written = write(ready[1], &attached, 1);
        int status = 0;
        while (attached && waitpid(pid, &status, __WALL) == pid && !WIFEXITED(status) &&
               !WIFSIGNALED(status)) {
            if (status >> 8 == (SIGTRAP | (PTRACE_EVENT_EXIT << 8))) {
                timespec pause{3, 0};
                nanosleep(&pause, nullptr);
            }
            ptrace(PTRACE_CONT, pid, nullptr, nullptr);
        }
        _exit(0);
    }
    close(ready[1]);
    char attached = 0;
    ASSERT_EQ(read(ready[0], &attached, 1), 1);
    close(ready[0]);
    if (!attached) {
        waitpid(tracer, nullptr, 0);
        GTEST_SKIP() << "this machine does not allow ptrace";
    }

    auto began = std::chrono::steady_clock::now();
    EndRunningCopy(u"brivostel v9.5.exe");
    auto took = std::chrono::steady_clock::now() - began;

    EXPECT_EQ(WaitForSingleObject(client, 0), WAIT_OBJECT_0) << "still dying when it returned";
    EXPECT_GE(took, std::chrono::milliseconds(3000 + 2500)) << "the wait, then the pause";
    kill(pid, SIGKILL);  // a second kill ends an exit stop that is still held
    waitpid(tracer, nullptr, 0);
}

TEST_F(ClientProcessTest, EndRunningCopyReturnsAtOnceWhenNoCopyRuns) {
    GetInstallerSettings().installFolder = "C:\\apps\\Inst";
    Install("apps/other/brivostel v9.5.exe");
    HANDLE elsewhere = Start(u"C:\\apps\\other\\brivostel v9.5.exe");
    auto began = std::chrono::steady_clock::now();
    EndRunningCopy(u"brivostel v9.5.exe");
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::milliseconds(2000));
    EXPECT_TRUE(Running(elsewhere));
}

TEST_F(ClientProcessTest, LaunchClientStartsTheClientWithEndInTheInstallationFolder) {
    // The installation folder "C:\用户\BRivostel471203v9.5", in code page 936.
    GetInstallerSettings().installFolder = "C:\\\xd3\xc3\xbb\xa7\\BRivostel471203v9.5";
    Install("\u7528\u6237/BRivostel471203v9.5/brivostel v9.5.exe");
    fs::path record = winroot.root() / "record.txt";
    setenv("FAKE_CLIENT_RECORD", record.c_str(), 1);  // reaches the client in our environment
    ASSERT_TRUE(LaunchClient());

    for (int i = 0; i < 500 && !fs::exists(record); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::map<std::string, std::string> values;
    std::string text = testsupport::ReadFileBytes(record);
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        std::string line = text.substr(at, end - at);
        values[line.substr(0, line.find('='))] = line.substr(line.find('=') + 1);
        at = end == std::string::npos ? text.size() : end + 1;
    }
    ASSERT_FALSE(values["pid"].empty());
    Track(std::stoi(values["pid"]));
    EXPECT_EQ(values["argc"], "2");
    EXPECT_EQ(values["argv[0]"], "C:\\\u7528\u6237\\BRivostel471203v9.5\\brivostel v9.5.exe");
    EXPECT_EQ(values["argv[1]"], "end");
    EXPECT_EQ(values["cwd"], C("\u7528\u6237/BRivostel471203v9.5").string());
}

TEST_F(ClientProcessTest, LaunchClientFailsWithoutTheClient) {
    GetInstallerSettings().installFolder = "C:\\nothing";
    fs::create_directories(C("nothing"));
    EXPECT_FALSE(LaunchClient());
}

}  // namespace
