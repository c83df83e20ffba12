// The folders of the console user, found through the session of the console and, failing that,
// through the owner of the shell's process.
#include "system/active_user_folder.h"

#include <windows.h>
#include <shlobj.h>
#include <wtsapi32.h>

#include <vector>

namespace {

std::string ConsoleSessionUserName() {
    std::string name;
    LPSTR buffer = nullptr;
    DWORD bytes = 0;
    if (WTSQuerySessionInformationA(WTS_CURRENT_SERVER_HANDLE, WTSGetActiveConsoleSessionId(),
                                    WTSUserName, &buffer, &bytes)) {
        if (buffer != nullptr)
            name = buffer;
        WTSFreeMemory(buffer);
    }
    return name;
}

// The account that owns the shell's process: the user of the desktop.
std::string ShellOwnerName() {
    std::string name;
    DWORD processId = 0;
    GetWindowThreadProcessId(GetShellWindow(), &processId);
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, processId);
    if (process == nullptr)
        return name;
    HANDLE token = nullptr;
    if (OpenProcessToken(process, TOKEN_QUERY, &token)) {
        DWORD size = 0;
        GetTokenInformation(token, TokenUser, nullptr, 0, &size);
        std::vector<BYTE> buffer(size);
        if (size > 0 && GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
            char account[260] = {};
            char domain[260] = {};
            DWORD accountSize = sizeof account;
            DWORD domainSize = sizeof domain;
            SID_NAME_USE use;
            PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
            if (LookupAccountSidA(nullptr, sid, account, &accountSize, domain, &domainSize, &use))
                name = account;
        }
        CloseHandle(token);
    }
    CloseHandle(process);
    return name;
}

}  // namespace

void RewriteFolderForUser(int csidl, const std::string& userName, std::string& text) {
    const std::string::size_type first = text.find('\\');
    const std::string::size_type second =
        first == std::string::npos ? std::string::npos : text.find('\\', first + 1);
    const std::string::size_type third =
        second == std::string::npos ? std::string::npos : text.find('\\', second + 1);
    if (csidl == CSIDL_DESKTOPDIRECTORY) {
        if (second != std::string::npos)
            text = text.substr(0, second + 1) + userName + "\\desktop";
    } else if (second != std::string::npos && third != std::string::npos) {
        text = text.substr(0, second + 1) + userName + text.substr(third);
    }
}

void GetActiveUserFolder(int csidl, std::string& text) {
    LPMALLOC malloc = nullptr;
    if (SUCCEEDED(SHGetMalloc(&malloc))) {
        PIDLIST_ABSOLUTE list = nullptr;
        if (SUCCEEDED(SHGetSpecialFolderLocation(nullptr, csidl, &list))) {
            std::vector<char> path(65536);
            if (SHGetPathFromIDListA(list, path.data()))
                text += path.data();
            malloc->Free(list);
        }
        malloc->Release();
    }
    std::string userName = ConsoleSessionUserName();
    if (userName.empty())
        userName = ShellOwnerName();
    RewriteFolderForUser(csidl, userName, text);
}
