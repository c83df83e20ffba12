// The console user's session: WTS queries answered from the account at the console.
#include "common/accounts.h"
#include "kernel32/codepage.h"

#include <wtsapi32.h>

#include <cstdlib>
#include <cstring>

namespace {

// The console session of this machine, as on a Windows machine with one user at the console.
constexpr DWORD kConsoleSessionId = 1;

}  // namespace

using namespace winlayer;

DWORD WINAPI WTSGetActiveConsoleSessionId() {
    return kConsoleSessionId;
}

BOOL WINAPI WTSQuerySessionInformationA(HANDLE server, DWORD sessionId, WTS_INFO_CLASS infoClass,
                                        LPSTR* buffer, DWORD* bytesReturned) {
    if (buffer)
        *buffer = nullptr;
    if (bytesReturned)
        *bytesReturned = 0;
    if (buffer == nullptr || bytesReturned == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (server != WTS_CURRENT_SERVER_HANDLE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (sessionId != kConsoleSessionId && sessionId != WTS_CURRENT_SESSION) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    std::string text;
    if (infoClass == WTSUserName) {
        std::optional<std::string> name = ConsoleAccountName();
        if (!name) {
            SetLastError(ERROR_NO_TOKEN);  // nobody is logged on at the console
            return FALSE;
        }
        text = AnsiFromUtf8(*name);
    } else if (infoClass == WTSDomainName) {
        text = DomainName();
    } else {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    char* copy = static_cast<char*>(std::malloc(text.size() + 1));
    if (copy == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    std::memcpy(copy, text.c_str(), text.size() + 1);
    *buffer = copy;
    *bytesReturned = static_cast<DWORD>(text.size() + 1);
    return TRUE;
}

void WINAPI WTSFreeMemory(PVOID memory) {
    std::free(memory);
}
