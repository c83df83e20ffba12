#include "system/processes_and_files.h"

#include "core/settings.h"

#include <io.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// "提示" (notice), the caption of the folder-creation message, in code page 936.
constexpr char kNoticeCaption[] = "\xcc\xe1\xca\xbe";

// UTF-16 texts compared with ASCII letters folded, as Windows compares file names.
bool EqualsIgnoringCase(const WCHAR* a, const WCHAR* b) {
    auto lower = [](WCHAR c) {
        return c >= TEXT('A') && c <= TEXT('Z') ? static_cast<WCHAR>(c + 32) : c;
    };
    for (; *a && *b; ++a, ++b)
        if (lower(*a) != lower(*b))
            return false;
    return *a == *b;
}

bool Equals(const WCHAR* a, const WCHAR* b) {
    for (; *a && *b; ++a, ++b)
        if (*a != *b)
            return false;
    return *a == *b;
}

// The first module's path of a process; false when its modules cannot be read.
bool ImagePathOf(DWORD processId, MODULEENTRY32W* module) {
    HANDLE modules = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId);
    if (modules == INVALID_HANDLE_VALUE)
        return false;
    module->dwSize = sizeof *module;
    BOOL found = Module32FirstW(modules, module);
    CloseHandle(modules);
    return found != FALSE;
}

}  // namespace

bool MakeParentFolders(const char* path) {
    for (size_t i = 0; path[i] != '\0'; ++i) {
        if (path[i] != '\\')
            continue;
        char prefix[260] = {};
        // A prefix longer than the buffer cannot be created: reported like a failed creation,
        // with as much of it as fits.
        bool fits = i + 1 < sizeof prefix;
        std::memcpy(prefix, path, fits ? i + 1 : sizeof prefix - 1);
        if (fits && _access(prefix, 0) == 0)
            continue;
        if (!fits || !CreateDirectoryA(prefix, nullptr)) {
            MessageBoxA(nullptr, prefix, kNoticeCaption, MB_OK);
            return false;
        }
    }
    return true;
}

bool DeleteFileTree(const char* path) {
    // The shell takes a list of paths, each NUL-terminated, ending in a second NUL.
    size_t length = std::strlen(path);
    std::vector<char> from(length + 2, '\0');
    std::memcpy(from.data(), path, length);
    SHFILEOPSTRUCTA operation{};
    operation.hwnd = nullptr;
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.data();
    operation.pTo = nullptr;
    operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION;
    return SHFileOperationA(&operation) == 0;
}

void EndRunningCopy(const WCHAR* executableName) {
    WCHAR installFolder[2046] = {};
    const std::string& folder = GetInstallerSettings().installFolder;
    if (MultiByteToWideChar(kNarrowCodePage, 0, folder.c_str(), -1, installFolder, 2046) == 0)
        installFolder[0] = 0;  // does not fit: no running copy can match
    WCHAR expectedPath[2046] = {};
    wsprintfW(expectedPath, TEXT("%s\\%s"), installFolder, executableName);

    HANDLE processes = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (processes == INVALID_HANDLE_VALUE)
        return;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(processes, &entry); more;
         more = Process32NextW(processes, &entry)) {
        if (!EqualsIgnoringCase(entry.szExeFile, executableName))
            continue;
        MODULEENTRY32W module{};
        if (!ImagePathOf(entry.th32ProcessID, &module) || !Equals(module.szExePath, expectedPath))
            continue;

        CloseHandle(processes);
        // SYNCHRONIZE as well: without it the wait below fails at once, and a client slow to
        // die still holds its files when they are replaced.
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID);
        TerminateProcess(process, 0);
        WaitForSingleObject(process, 5000);
        // Give the ended client time to let go of its files before they are replaced.
        Sleep(2500);
        if (process != nullptr)
            CloseHandle(process);
        return;
    }
    CloseHandle(processes);
}

bool LaunchClient() {
    const std::string& folder = GetInstallerSettings().installFolder;
    std::string line = "\"" + folder + "\\" + kClientExecutableName + "\" end";
    WCHAR commandLine[2048] = {};
    WCHAR currentFolder[2048] = {};
    // A command line or folder that does not fit is not cut short: nothing is started.
    if (MultiByteToWideChar(kNarrowCodePage, 0, line.c_str(), -1, commandLine, 2048) == 0 ||
        MultiByteToWideChar(kNarrowCodePage, 0, folder.c_str(), -1, currentFolder, 2048) == 0)
        return false;

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION started{};
    BOOL ok = CreateProcessW(nullptr, commandLine, nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE,
                             nullptr, currentFolder, &startup, &started);
    if (ok) {
        CloseHandle(started.hThread);
        CloseHandle(started.hProcess);
    }
    return ok != FALSE;
}
