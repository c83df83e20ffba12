#include <windows.h>
#include <wtsapi32.h>

#include "scoped_env.h"
#include "winroot.h"

#include <utmpx.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr DWORD kSentinel = 0xdeadbeef;

struct Login {
    short type;
    const char* line;
    const char* user;
    const char* host;
};

std::string WriteUtmp(const std::filesystem::path& file, const std::vector<Login>& logins) {
    std::FILE* out = std::fopen(file.c_str(), "wb");
    for (const Login& login : logins) {
        utmpx entry{};
        entry.ut_type = login.type;
        std::strncpy(entry.ut_line, login.line, sizeof entry.ut_line);
        std::strncpy(entry.ut_user, login.user, sizeof entry.ut_user);
        std::strncpy(entry.ut_host, login.host, sizeof entry.ut_host);
        std::fwrite(&entry, sizeof entry, 1, out);
    }
    std::fclose(out);
    return file.string();
}

// The console user as WTSQuerySessionInformationA reports it; "(fails)" when the call fails.
std::string ConsoleUser() {
    LPSTR name = reinterpret_cast<LPSTR>(1);
    DWORD bytes = kSentinel;
    if (!WTSQuerySessionInformationA(WTS_CURRENT_SERVER_HANDLE, WTSGetActiveConsoleSessionId(),
                                     WTSUserName, &name, &bytes)) {
        EXPECT_EQ(name, nullptr);
        return "(fails)";
    }
    std::string result(name);
    EXPECT_EQ(bytes, result.size() + 1);
    WTSFreeMemory(name);
    return result;
}

class ConsoleUserTest : public testsupport::WinRootTest {
  protected:
    testsupport::ScopedEnv env;
};

TEST_F(ConsoleUserTest, TheSeatsXSessionOwnerThenSudoUserThenTheProcessAccount) {
    std::string xSession =
        WriteUtmp(winroot.root() / "x.utmp", {{USER_PROCESS, "pts/0", "bob", "10.0.0.2"},
                                              {DEAD_PROCESS, ":0", "ghost", ":0"},
                                              {USER_PROCESS, ":0", "alice", ":0"}});
    std::string vt = WriteUtmp(winroot.root() / "vt.utmp", {{USER_PROCESS, "tty7", "vera", ""}});
    std::string sshOnly =
        WriteUtmp(winroot.root() / "ssh.utmp", {{USER_PROCESS, "pts/1", "bob", "10.0.0.2"}});
    struct Row {
        const char* fixed;  // WINLAYER_CONSOLE_USER
        std::string utmp;
        const char* sudoUser;
        const char* expected;
    } rows[] = {
        {"user1", xSession, "carol", "user1"}, {"", xSession, "carol", "(fails)"},
        {nullptr, xSession, "carol", "alice"}, {nullptr, vt, nullptr, "vera"},
        {nullptr, sshOnly, "carol", "carol"},  {nullptr, sshOnly, "", "admin"},
        {nullptr, sshOnly, nullptr, "admin"},
    };
    env.Set("WINLAYER_USER", "admin");
    for (const Row& row : rows) {
        env.Set("WINLAYER_CONSOLE_USER", row.fixed)
            .Set("WINLAYER_UTMP", row.utmp.c_str())
            .Set("SUDO_USER", row.sudoUser);
        EXPECT_EQ(ConsoleUser(), row.expected) << row.utmp;
    }
}

TEST_F(ConsoleUserTest, QueriesOtherThanTheLocalConsoleFail) {
    env.Set("WINLAYER_CONSOLE_USER", "user1");
    LPSTR name = nullptr;
    DWORD bytes = 0;
    SetLastError(kSentinel);
    EXPECT_FALSE(
        WTSQuerySessionInformationA(reinterpret_cast<HANDLE>(8), 1, WTSUserName, &name, &bytes));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(
        WTSQuerySessionInformationA(WTS_CURRENT_SERVER_HANDLE, 77, WTSUserName, &name, &bytes));
    EXPECT_EQ(name, nullptr);
}

TEST_F(ConsoleUserTest, NoShellWindowHere) {
    EXPECT_EQ(GetShellWindow(), nullptr);
    DWORD pid = kSentinel;
    EXPECT_EQ(GetWindowThreadProcessId(GetShellWindow(), &pid), 0u);
    EXPECT_EQ(pid, 0u);
}

TEST_F(ConsoleUserTest, TokenUserLooksUpToTheProcessAccount) {
    env.Set("WINLAYER_USER", "admin");
    for (HANDLE process : {GetCurrentProcess(),
                           OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, GetCurrentProcessId())}) {
        HANDLE token = nullptr;
        ASSERT_TRUE(OpenProcessToken(process, TOKEN_QUERY, &token));
        DWORD needed = 0;
        SetLastError(kSentinel);
        EXPECT_FALSE(GetTokenInformation(token, TokenUser, nullptr, 0, &needed));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
        ASSERT_GT(needed, sizeof(TOKEN_USER));
        std::vector<BYTE> buffer(needed);
        DWORD again = 0;
        SetLastError(kSentinel);
        EXPECT_FALSE(GetTokenInformation(token, TokenUser, buffer.data(), needed - 1, &again));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
        ASSERT_TRUE(GetTokenInformation(token, TokenUser, buffer.data(), needed, &again));
        PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;

        char name[260];
        char domain[260];
        DWORD nameSize = 1, domainSize = 260;
        SID_NAME_USE use{};
        SetLastError(kSentinel);
        EXPECT_FALSE(LookupAccountSidA(nullptr, sid, name, &nameSize, domain, &domainSize, &use));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
        EXPECT_EQ(nameSize, 6u) << "admin and its NUL";
        nameSize = 6;
        ASSERT_TRUE(LookupAccountSidA(nullptr, sid, name, &nameSize, domain, &domainSize, &use));
        EXPECT_STREQ(name, "admin");
        EXPECT_EQ(nameSize, 5u);
        EXPECT_EQ(domainSize, std::strlen(domain));
        EXPECT_EQ(use, SidTypeUser);
        CloseHandle(token);
        if (process != GetCurrentProcess())
            CloseHandle(process);
    }
    HANDLE token = reinterpret_cast<HANDLE>(1);
    SetLastError(kSentinel);
    EXPECT_FALSE(OpenProcessToken(nullptr, TOKEN_QUERY, &token));
    EXPECT_EQ(token, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

}  // namespace
