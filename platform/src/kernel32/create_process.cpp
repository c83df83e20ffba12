// CreateProcessW: the program and its arguments from a Windows command line, started detached in
// its own session with the given environment and current folder. There are no consoles, and the
// child's first window shows as it would anyway: console flags and the start-up information are
// accepted and not used; handles are never inherited.
#include "kernel32/codepage.h"
#include "kernel32/command_line.h"
#include "kernel32/environment.h"
#include "kernel32/paths.h"
#include "kernel32/process_object.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

extern char** environ;

namespace winlayer {
namespace {

bool IsRegularFile(const std::string& unixPath) {
    struct stat st;
    return stat(unixPath.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsFolder(const std::string& unixPath) {
    struct stat st;
    return stat(unixPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool HasFolderPart(std::string_view name) {
    return name.find_first_of("\\/") != std::string_view::npos ||
           (name.size() >= 2 && name[1] == ':');
}

// Windows appends ".exe" to a program name without extension, unless it ends in a period.
std::string WithDefaultExtension(std::string name) {
    size_t lastSeparator = name.find_last_of("\\/");
    std::string_view last =
        std::string_view(name).substr(lastSeparator == std::string::npos ? 0 : lastSeparator + 1);
    if (!last.empty() && last.find('.') == std::string_view::npos)
        name += ".exe";
    return name;
}

std::string FolderOfThisProgram() {
    char buffer[4096];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return {};
    std::string path(buffer, static_cast<size_t>(n));
    return WindowsPathOf(path.substr(0, path.find_last_of('/')));
}

// The folders CreateProcess searches for a program named without a folder: the folder of this
// program, the current folder, the system folders, then the folders of Path.
std::vector<std::string> SearchFolders() {
    std::vector<std::string> folders = {FolderOfThisProgram(), ".", "C:\\windows\\system32",
                                        "C:\\windows\\system", "C:\\windows"};
    if (std::optional<std::string> path = GetEnvironmentUtf8("Path")) {
        std::string_view rest = *path;
        while (!rest.empty()) {
            size_t end = rest.find(';');
            std::string_view folder = rest.substr(0, end);
            if (!folder.empty())
                folders.emplace_back(folder);
            rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        }
    }
    return folders;
}

// The Linux path of the program that `name` (UTF-8, Windows form) names, searched as Windows does.
std::optional<std::string> FindProgram(const std::string& name, bool search) {
    std::string withExtension = WithDefaultExtension(name);
    std::vector<std::string> tries;
    if (!search || HasFolderPart(withExtension)) {
        tries.push_back(withExtension);
    } else {
        for (const std::string& folder : SearchFolders())
            if (!folder.empty())
                tries.push_back(folder + "\\" + withExtension);
    }
    for (const std::string& candidate : tries) {
        DWORD error = 0;
        std::optional<std::string> unix = UnixPath(candidate, &error);
        if (unix && IsRegularFile(*unix))
            return unix;
    }
    return std::nullopt;
}

// "NAME=value" strings of a Windows environment block (ANSI, or UTF-16 with
// CREATE_UNICODE_ENVIRONMENT), as UTF-8.
std::vector<std::string> EnvironmentFromBlock(const void* block, bool unicode) {
    std::vector<std::string> variables;
    if (unicode) {
        for (auto p = static_cast<const WCHAR*>(block); *p; p += WideLength(p) + 1)
            variables.push_back(Utf8FromWide(p));
    } else {
        for (auto p = static_cast<const char*>(block); *p;
             p += std::char_traits<char>::length(p) + 1)
            variables.push_back(Utf8FromAnsi(p));
    }
    return variables;
}

DWORD ErrorOfExec(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            return ERROR_FILE_NOT_FOUND;
        case EACCES:
        case EPERM:
            return ERROR_ACCESS_DENIED;
        case ENOEXEC:
        case ELIBBAD:
            return ERROR_BAD_EXE_FORMAT;
        case ENOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        default:
            return ERROR_INVALID_PARAMETER;
    }
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (std::string& s : strings)
        pointers.push_back(s.data());
    pointers.push_back(nullptr);
    return pointers;
}

}  // namespace
}  // namespace winlayer

using namespace winlayer;

BOOL WINAPI CreateProcessW(LPCWSTR applicationName, LPWSTR commandLine, LPSECURITY_ATTRIBUTES,
                           LPSECURITY_ATTRIBUTES, BOOL, DWORD creationFlags, LPVOID environment,
                           LPCWSTR currentDirectory, LPSTARTUPINFOW startupInfo,
                           LPPROCESS_INFORMATION processInformation) {
    if (processInformation != nullptr)
        *processInformation = PROCESS_INFORMATION{};
    if ((applicationName == nullptr && commandLine == nullptr) || startupInfo == nullptr ||
        processInformation == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }

    std::u16string line = commandLine ? std::u16string(commandLine) : std::u16string();
    std::vector<std::string> args;
    for (const std::u16string& arg : SplitCommandLine(line))
        args.push_back(Utf8FromWide(arg));

    std::optional<std::string> image;
    if (applicationName != nullptr) {
        // An application name is used as given: no search, no default extension.
        std::string name = Utf8FromWide(applicationName);
        DWORD error = 0;
        image = UnixPath(name, &error);
        if (image && !IsRegularFile(*image))
            image.reset();
        if (args.empty())
            args.push_back(name);
    } else {
        for (const std::u16string& candidate : ProgramCandidates(line)) {
            if ((image = FindProgram(Utf8FromWide(candidate), true)))
                break;
        }
    }
    if (!image) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }

    std::optional<std::string> folder;
    if (currentDirectory != nullptr) {
        DWORD error = 0;
        folder = UnixPathFromWide(currentDirectory, &error);
        if (!folder || !IsFolder(*folder)) {
            SetLastError(ERROR_DIRECTORY);
            return FALSE;
        }
    }

    std::vector<std::string> variables;
    if (environment != nullptr) {
        variables = EnvironmentFromBlock(environment, creationFlags & CREATE_UNICODE_ENVIRONMENT);
    } else {
        for (char** e = environ; *e; ++e)
            variables.emplace_back(*e);
    }

    // Everything the child needs is prepared here: between fork and exec only calls that are
    // safe in a forked copy of a threaded process are made.
    std::vector<char*> argv = Pointers(args);
    std::vector<char*> envp = Pointers(variables);
    const char* imagePath = image->c_str();
    const char* folderPath = folder ? folder->c_str() : nullptr;

    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    pid_t pid = fork();
    if (pid < 0) {
        close(report[0]);
        close(report[1]);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    if (pid == 0) {
        // The child: its own session, default signals, no descriptors of ours but 0 to 2.
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        struct sigaction standard {};
        standard.sa_handler = SIG_DFL;
        for (int sig = 1; sig < NSIG; ++sig)
            sigaction(sig, &standard, nullptr);
        setsid();
        int error = 0;
        if (folderPath != nullptr && chdir(folderPath) != 0)
            error = -1;  // the current folder cannot be entered
        if (error == 0) {
            syscall(SYS_close_range, 3U, ~0U, 4U /* CLOSE_RANGE_CLOEXEC */);
            execve(imagePath, argv.data(), envp.data());
            error = errno;
        }
        ssize_t ignored = write(report[1], &error, sizeof error);
        (void)ignored;
        _exit(127);
    }
    close(report[1]);
    int childError = 0;
    ssize_t got;
    do {
        got = read(report[0], &childError, sizeof childError);
    } while (got < 0 && errno == EINTR);
    close(report[0]);
    if (got == static_cast<ssize_t>(sizeof childError)) {
        waitpid(pid, nullptr, 0);
        SetLastError(childError == -1 ? ERROR_DIRECTORY : ErrorOfExec(childError));
        return FALSE;
    }

    // The child stays ours until it ends; a reaper collects it so that it never lingers as a
    // zombie, and keeps its exit code for GetExitCodeProcess.
    auto exit = std::make_shared<ProcessExit>();
    int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    int threadFd = pidfd >= 0 ? fcntl(pidfd, F_DUPFD_CLOEXEC, 0) : -1;
    StartReaper(pid, exit);
    processInformation->hProcess =
        NewHandle(std::make_shared<ProcessObject>(pid, pidfd, PROCESS_ALL_ACCESS, exit));
    processInformation->hThread = NewHandle(std::make_shared<ProcessThreadObject>(pid, threadFd));
    processInformation->dwProcessId = static_cast<DWORD>(pid);
    processInformation->dwThreadId = static_cast<DWORD>(pid);
    return TRUE;
}
