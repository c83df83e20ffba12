// Tool-help snapshots of the running processes and of one process's modules, read from /proc.
#include "kernel32/codepage.h"
#include "kernel32/kernel_object.h"
#include "kernel32/paths.h"

#include <tlhelp32.h>

#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace winlayer {
namespace {

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

struct Module {
    std::u16string name;
    std::u16string path;
    ULONG_PTR base = 0;
    ULONG_PTR size = 0;
};

class SnapshotObject : public KernelObject {
  public:
    std::mutex mutex;
    std::vector<PROCESSENTRY32W> processes;
    size_t nextProcess = 0;
    std::vector<Module> modules;
    DWORD modulesOf = 0;
    size_t nextModule = 0;
};

template <size_t N>
void CopyTruncated(WCHAR (&to)[N], std::u16string_view from) {
    size_t n = std::min(from.size(), N - 1);
    std::copy_n(from.begin(), n, to);
    to[n] = 0;
}

std::string ReadLink(const std::string& path, int* error) {
    char buffer[PATH_MAX];
    ssize_t n = readlink(path.c_str(), buffer, sizeof buffer);
    if (n < 0) {
        *error = errno;
        return {};
    }
    std::string target(buffer, static_cast<size_t>(n));
    // The kernel marks an image whose file was removed or replaced after the start.
    constexpr std::string_view kDeleted = " (deleted)";
    if (target.size() > kDeleted.size() &&
        target.compare(target.size() - kDeleted.size(), kDeleted.size(), kDeleted) == 0)
        target.resize(target.size() - kDeleted.size());
    return target;
}

std::string ReadSmallFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::string BaseName(std::string_view path) {
    size_t slash = path.find_last_of('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

// The Windows form of an image path. /proc gives paths with symbolic links resolved, so the
// resolved form of the root's drive_c counts as C: as well.
std::string WindowsPathOfImage(const std::string& unixPath) {
    std::string driveC = WinRoot() + "/drive_c";
    std::unique_ptr<char, decltype(&free)> resolved(realpath(driveC.c_str(), nullptr), &free);
    if (resolved) {
        std::string_view real = resolved.get();
        if (unixPath.size() > real.size() && unixPath.compare(0, real.size(), real) == 0 &&
            unixPath[real.size()] == '/')
            return WindowsPathOf(driveC + unixPath.substr(real.size()));
    }
    return WindowsPathOf(unixPath);
}

// The executable's file name of a process: from its image, else from its first argument, else
// from the kernel's short name (kernel threads have neither).
std::string ExecutableName(const std::string& procFolder) {
    int error = 0;
    std::string image = ReadLink(procFolder + "/exe", &error);
    if (!image.empty())
        return BaseName(image);
    std::string cmdline = ReadSmallFile(procFolder + "/cmdline");
    std::string first = cmdline.substr(0, cmdline.find('\0'));
    if (!first.empty())
        return BaseName(first);
    std::string comm = ReadSmallFile(procFolder + "/comm");
    while (!comm.empty() && comm.back() == '\n')
        comm.pop_back();
    return comm;
}

bool ReadProcess(pid_t pid, PROCESSENTRY32W* entry) {
    std::string folder = "/proc/" + std::to_string(pid);
    std::string stat = ReadSmallFile(folder + "/stat");
    size_t close = stat.rfind(')');
    if (close == std::string::npos)
        return false;
    // After the name: state, ppid, ... num_threads is the 18th field after it.
    std::istringstream fields(stat.substr(close + 1));
    std::string state;
    long parent = 0;
    fields >> state >> parent;
    std::string skip;
    for (int i = 0; i < 15; ++i)
        fields >> skip;
    long threads = 1;
    fields >> threads;

    *entry = PROCESSENTRY32W{};
    entry->dwSize = sizeof(PROCESSENTRY32W);
    entry->th32ProcessID = static_cast<DWORD>(pid);
    entry->th32ParentProcessID = static_cast<DWORD>(parent);
    entry->cntThreads = static_cast<DWORD>(threads);
    entry->pcPriClassBase = 8;  // NORMAL_PRIORITY_CLASS's base priority
    CopyTruncated(entry->szExeFile, WideFromUtf8(ExecutableName(folder)));
    return true;
}

std::vector<PROCESSENTRY32W> ReadProcesses() {
    std::vector<PROCESSENTRY32W> processes;
    std::unique_ptr<DIR, DirCloser> proc(opendir("/proc"));
    if (!proc)
        return processes;
    std::set<pid_t> pids;
    while (dirent* entry = readdir(proc.get())) {
        char* end = nullptr;
        long pid = std::strtol(entry->d_name, &end, 10);
        if (*end == '\0' && pid > 0)
            pids.insert(static_cast<pid_t>(pid));
    }
    for (pid_t pid : pids) {
        PROCESSENTRY32W entry;
        if (ReadProcess(pid, &entry))  // a process that ended meanwhile is left out
            processes.push_back(entry);
    }
    return processes;
}

// The modules of a process: its image first, then the other mapped files of its address space.
bool ReadModules(pid_t pid, std::vector<Module>* modules, DWORD* error) {
    std::string folder = "/proc/" + std::to_string(pid);
    int readError = 0;
    std::string image = ReadLink(folder + "/exe", &readError);
    if (image.empty()) {
        if (access(folder.c_str(), F_OK) != 0)
            *error = ERROR_INVALID_PARAMETER;
        else if (readError == EACCES || readError == EPERM)
            *error = ERROR_ACCESS_DENIED;
        else
            *error = ERROR_PARTIAL_COPY;  // a kernel thread or a process being torn down
        return false;
    }
    std::vector<std::string> order = {image};
    std::vector<std::pair<ULONG_PTR, ULONG_PTR>> ranges(1, {~ULONG_PTR(0), 0});
    std::ifstream maps(folder + "/maps");
    std::string line;
    while (std::getline(maps, line)) {
        unsigned long long start = 0, end = 0;
        int pathAt = -1;
        std::sscanf(line.c_str(), "%llx-%llx %*s %*s %*s %*s %n", &start, &end, &pathAt);
        if (pathAt < 0 || static_cast<size_t>(pathAt) >= line.size() || line[pathAt] != '/')
            continue;
        std::string path = line.substr(static_cast<size_t>(pathAt));
        if (path.size() > 10 && path.compare(path.size() - 10, 10, " (deleted)") == 0)
            path.resize(path.size() - 10);
        size_t index = std::find(order.begin(), order.end(), path) - order.begin();
        if (index == order.size()) {
            order.push_back(path);
            ranges.push_back({~ULONG_PTR(0), 0});
        }
        ranges[index].first = std::min<ULONG_PTR>(ranges[index].first, start);
        ranges[index].second = std::max<ULONG_PTR>(ranges[index].second, end);
    }
    for (size_t i = 0; i < order.size(); ++i) {
        Module module;
        module.name = WideFromUtf8(BaseName(order[i]));
        module.path = WideFromUtf8(WindowsPathOfImage(order[i]));
        if (ranges[i].second > ranges[i].first) {
            module.base = ranges[i].first;
            module.size = ranges[i].second - ranges[i].first;
        }
        modules->push_back(std::move(module));
    }
    return true;
}

BOOL NextProcess(HANDLE snapshot, LPPROCESSENTRY32W entry, bool first) {
    std::shared_ptr<SnapshotObject> object = ObjectFromHandle<SnapshotObject>(snapshot);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (entry == nullptr || entry->dwSize < sizeof(PROCESSENTRY32W)) {
        SetLastError(ERROR_BAD_LENGTH);
        return FALSE;
    }
    std::lock_guard lock(object->mutex);
    if (first)
        object->nextProcess = 0;
    if (object->nextProcess >= object->processes.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    *entry = object->processes[object->nextProcess++];
    return TRUE;
}

BOOL NextModule(HANDLE snapshot, LPMODULEENTRY32W entry, bool first) {
    std::shared_ptr<SnapshotObject> object = ObjectFromHandle<SnapshotObject>(snapshot);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (entry == nullptr || entry->dwSize < sizeof(MODULEENTRY32W)) {
        SetLastError(ERROR_BAD_LENGTH);
        return FALSE;
    }
    std::lock_guard lock(object->mutex);
    if (first)
        object->nextModule = 0;
    if (object->nextModule >= object->modules.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    const Module& module = object->modules[object->nextModule++];
    *entry = MODULEENTRY32W{};
    entry->dwSize = sizeof(MODULEENTRY32W);
    entry->th32ModuleID = 1;  // Windows always reports 1
    entry->th32ProcessID = object->modulesOf;
    entry->GlblcntUsage = 0xFFFF;
    entry->ProccntUsage = 0xFFFF;
    entry->modBaseAddr = reinterpret_cast<BYTE*>(module.base);
    entry->modBaseSize = static_cast<DWORD>(module.size);
    entry->hModule = reinterpret_cast<HMODULE>(module.base);
    CopyTruncated(entry->szModule, module.name);
    CopyTruncated(entry->szExePath, module.path);
    return TRUE;
}

}  // namespace
}  // namespace winlayer

using namespace winlayer;

HANDLE WINAPI CreateToolhelp32Snapshot(DWORD flags, DWORD processId) {
    if ((flags & (TH32CS_SNAPPROCESS | TH32CS_SNAPMODULE)) == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    auto snapshot = std::make_shared<SnapshotObject>();
    if (flags & TH32CS_SNAPMODULE) {
        pid_t pid = processId == 0 ? getpid() : static_cast<pid_t>(processId);
        DWORD error = 0;
        if (!ReadModules(pid, &snapshot->modules, &error)) {
            SetLastError(error);
            return INVALID_HANDLE_VALUE;
        }
        snapshot->modulesOf = static_cast<DWORD>(pid);
    }
    if (flags & TH32CS_SNAPPROCESS)
        snapshot->processes = ReadProcesses();
    return NewHandle(snapshot);
}

BOOL WINAPI Process32FirstW(HANDLE snapshot, LPPROCESSENTRY32W entry) {
    return NextProcess(snapshot, entry, true);
}

BOOL WINAPI Process32NextW(HANDLE snapshot, LPPROCESSENTRY32W entry) {
    return NextProcess(snapshot, entry, false);
}

BOOL WINAPI Module32FirstW(HANDLE snapshot, LPMODULEENTRY32W entry) {
    return NextModule(snapshot, entry, true);
}

BOOL WINAPI Module32NextW(HANDLE snapshot, LPMODULEENTRY32W entry) {
    return NextModule(snapshot, entry, false);
}
