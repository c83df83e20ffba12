// The install log. InstallLogFile is reached only under its lock.
#include "core/install_log.h"

#include <cstdio>
#include <mutex>
#include <string>

#include "core/testing/install_log.h"

namespace {

std::mutex installLogMutex;
FILE* InstallLogFile = nullptr;

void CloseLocked() {
    if (InstallLogFile != nullptr) {
        fclose(InstallLogFile);
        InstallLogFile = nullptr;
    }
}

}  // namespace

bool OpenInstallLog(const char* path, const char* mode) {
    std::lock_guard lock(installLogMutex);
    CloseLocked();
    FILE* file = nullptr;
    if (fopen_s(&file, path, mode) != 0)
        return false;
    InstallLogFile = file;
    return true;
}

void CloseInstallLog() {
    std::lock_guard lock(installLogMutex);
    CloseLocked();
}

bool InstallLogIsOpen() {
    std::lock_guard lock(installLogMutex);
    return InstallLogFile != nullptr;
}

void FormatInstallLogPrefix(const SYSTEMTIME& time, char (&prefix)[260]) {
    snprintf(prefix, sizeof prefix, "[%02d:%02d:%02d %03d]\t\t", time.wHour, time.wMinute,
             time.wSecond, time.wMilliseconds);
}

void WriteInstallLog(const char* text) {
    if (text == nullptr)
        return;
    std::lock_guard lock(installLogMutex);
    if (InstallLogFile == nullptr)
        return;
    SYSTEMTIME now;
    GetLocalTime(&now);
    char prefix[260];
    FormatInstallLogPrefix(now, prefix);
    std::string line = prefix;
    line += text;
    line += "\r\n";
    // One write per line, flushed at once: the line is on disk when the call returns.
    fwrite(line.data(), line.size(), 1, InstallLogFile);
    fflush(InstallLogFile);
}
