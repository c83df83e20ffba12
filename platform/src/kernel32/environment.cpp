// The process environment with Windows' rules: names compare without regard to case, values are
// ANSI (code page 936) on the A side and UTF-16 on the W side, UTF-8 in the Linux environment.
#include "kernel32/environment.h"

#include "kernel32/codepage.h"
#include "kernel32/paths.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

extern char** environ;

namespace winlayer {
namespace {

std::mutex& EnvironmentMutex() {
    static std::mutex mutex;
    return mutex;
}

// The spelling under which `name` is set: the exact one first, else the first that differs only
// in case. Caller holds the mutex.
std::optional<std::string> FindSpelling(std::string_view name) {
    std::optional<std::string> found;
    for (char** entry = environ; entry && *entry; ++entry) {
        std::string_view text(*entry);
        size_t equals = text.find('=');
        if (equals == std::string_view::npos)
            continue;
        std::string_view candidate = text.substr(0, equals);
        if (candidate == name)
            return std::string(candidate);
        if (!found && EqualsIgnoringCase(candidate, name))
            found = std::string(candidate);
    }
    return found;
}

bool IsValidName(std::string_view name) {
    return !name.empty() && name.find('=') == std::string_view::npos;
}

// A Windows process always finds these; Linux has no counterpart. WINLAYER_NO_SYSTEMROOT (set,
// any value) leaves them out, for tests of a program started without them.
std::optional<std::string> WindowsDefault(std::string_view name) {
    if (std::getenv("WINLAYER_NO_SYSTEMROOT"))
        return std::nullopt;
    if (EqualsIgnoringCase(name, "SystemRoot") || EqualsIgnoringCase(name, "windir"))
        return std::string("C:\\windows");
    return std::nullopt;
}

// Windows' size rule: the length without NUL when it fits, else the size needed with the NUL.
template <class Char>
DWORD CopyValue(const std::basic_string<Char>& value, Char* buffer, DWORD size) {
    if (value.size() + 1 > size || buffer == nullptr)
        return static_cast<DWORD>(value.size() + 1);
    std::memcpy(buffer, value.c_str(), (value.size() + 1) * sizeof(Char));
    return static_cast<DWORD>(value.size());
}

}  // namespace

std::optional<std::string> GetEnvironmentUtf8(std::string_view name) {
    {
        std::lock_guard lock(EnvironmentMutex());
        if (std::optional<std::string> spelling = FindSpelling(name))
            return std::string(std::getenv(spelling->c_str()));
    }
    return WindowsDefault(name);
}

bool SetEnvironmentUtf8(std::string_view name, const std::string* value) {
    if (!IsValidName(name))
        return false;
    std::lock_guard lock(EnvironmentMutex());
    std::optional<std::string> spelling = FindSpelling(name);
    if (value == nullptr) {
        if (spelling)
            unsetenv(spelling->c_str());
        return true;
    }
    return setenv(spelling ? spelling->c_str() : std::string(name).c_str(), value->c_str(), 1) == 0;
}

}  // namespace winlayer

using namespace winlayer;

DWORD WINAPI GetEnvironmentVariableW(LPCWSTR name, LPWSTR buffer, DWORD size) {
    if (name == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::optional<std::string> value = GetEnvironmentUtf8(Utf8FromWide(name));
    if (!value) {
        SetLastError(ERROR_ENVVAR_NOT_FOUND);
        return 0;
    }
    SetLastError(ERROR_SUCCESS);  // tells an empty value from a missing one
    return CopyValue(WideFromUtf8(*value), buffer, size);
}

DWORD WINAPI GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size) {
    if (name == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::optional<std::string> value = GetEnvironmentUtf8(Utf8FromAnsi(name));
    if (!value) {
        SetLastError(ERROR_ENVVAR_NOT_FOUND);
        return 0;
    }
    SetLastError(ERROR_SUCCESS);
    return CopyValue(AnsiFromUtf8(*value), buffer, size);
}

BOOL WINAPI SetEnvironmentVariableW(LPCWSTR name, LPCWSTR value) {
    if (name == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string utf8Value = value ? Utf8FromWide(value) : std::string();
    if (!SetEnvironmentUtf8(Utf8FromWide(name), value ? &utf8Value : nullptr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI SetEnvironmentVariableA(LPCSTR name, LPCSTR value) {
    if (name == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::u16string wideName = WideFromAnsi(name);
    if (value == nullptr)
        return SetEnvironmentVariableW(wideName.c_str(), nullptr);
    std::u16string wideValue = WideFromAnsi(value);
    return SetEnvironmentVariableW(wideName.c_str(), wideValue.c_str());
}

DWORD WINAPI GetCurrentDirectoryA(DWORD bufferLength, LPSTR buffer) {
    DWORD error = ERROR_SUCCESS;
    std::optional<std::string> current = FullWindowsPath(".", &error);
    if (!current) {
        SetLastError(error);
        return 0;
    }
    return CopyValue(AnsiFromUtf8(*current), buffer, bufferLength);
}

errno_t _dupenv_s(char** buffer, size_t* size, const char* name) {
    if (buffer == nullptr || name == nullptr) {
        if (buffer)
            *buffer = nullptr;
        return EINVAL;
    }
    *buffer = nullptr;
    if (size)
        *size = 0;
    std::optional<std::string> value = GetEnvironmentUtf8(Utf8FromAnsi(name));
    if (!value)
        return 0;  // not set: a null buffer and success, as the runtime does
    std::string ansi = AnsiFromUtf8(*value);
    char* copy = static_cast<char*>(std::malloc(ansi.size() + 1));
    if (copy == nullptr)
        return ENOMEM;
    std::memcpy(copy, ansi.c_str(), ansi.size() + 1);
    *buffer = copy;
    if (size)
        *size = ansi.size() + 1;
    return 0;
}
