// Named mutexes across the processes of one root: the answer ERROR_ALREADY_EXISTS is what a
// program uses to find that another copy of itself runs.
#include <windows.h>

#include "winroot.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

namespace {

class NamedMutexTest : public testsupport::WinRootTest {};

// In a child process: 1 when the mutex existed, 0 when it was new, 2 when the call failed.
int ExistsInAnotherProcess(const char16_t* name) {
    pid_t child = fork();
    if (child == 0) {
        HANDLE mutex = CreateMutexW(nullptr, FALSE, name);
        _exit(mutex == nullptr ? 2 : GetLastError() == ERROR_ALREADY_EXISTS ? 1 : 0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 3;
}

TEST_F(NamedMutexTest, ExistsWhileAnyHandleIsOpenInAnyProcessOfTheRoot) {
    const char16_t* name = u"Global\\Setup of v9.5";
    SetLastError(ERROR_INVALID_HANDLE);
    HANDLE first = CreateMutexW(nullptr, FALSE, name);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(ExistsInAnotherProcess(name), 1);
    // A second handle in this process, then the first closed: the object lives on.
    HANDLE second = CreateMutexW(nullptr, FALSE, name);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    ASSERT_TRUE(CloseHandle(first));
    EXPECT_EQ(ExistsInAnotherProcess(name), 1);
    ASSERT_TRUE(CloseHandle(second));
    EXPECT_EQ(ExistsInAnotherProcess(name), 0) << "gone with the last handle";
    // Names are case-sensitive, and other names are other objects.
    HANDLE third = CreateMutexW(nullptr, FALSE, name);
    EXPECT_EQ(ExistsInAnotherProcess(u"global\\setup of v9.5"), 0);
    EXPECT_EQ(ExistsInAnotherProcess(u"Global\\Setup of v9.6"), 0);
    CloseHandle(third);
}

TEST_F(NamedMutexTest, AProcessThatEndsTakesItsHandlesAlong) {
    const char16_t* name = u"Held by a child";
    pid_t child = fork();
    if (child == 0) {
        CreateMutexW(nullptr, FALSE, name);
        _exit(0);  // without CloseHandle
    }
    int status = 0;
    waitpid(child, &status, 0);
    HANDLE mine = CreateMutexW(nullptr, FALSE, name);
    ASSERT_NE(mine, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    CloseHandle(mine);
}

TEST_F(NamedMutexTest, UnnamedMutexesAreAlwaysNewAndOwnershipIsRefused) {
    HANDLE a = CreateMutexW(nullptr, FALSE, nullptr);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    HANDLE b = CreateMutexW(nullptr, FALSE, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    CloseHandle(a);
    CloseHandle(b);
    EXPECT_EQ(CreateMutexW(nullptr, TRUE, u"owned"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
}

}  // namespace
