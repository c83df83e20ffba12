// Accounts, the console user's session, process tokens and account lookup.
#include "accounts.h"

#include "codepage.h"
#include "environment.h"
#include "kernel_object.h"
#include "process_object.h"

#include <wtsapi32.h>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utmpx.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string_view>
#include <vector>

namespace winlayer {
namespace {

// The console session of this machine, as on a Windows machine with one user at the console.
constexpr DWORD kConsoleSessionId = 1;

class TokenObject : public KernelObject {
  public:
    explicit TokenObject(uid_t uid) : uid_(uid) {}
    uid_t uid() const { return uid_; }

  private:
    uid_t uid_;
};

// The owner of the X session on the seat: a login record on an X display (":0") or on the
// graphical virtual terminal.
std::optional<std::string> XSessionOwner() {
    static std::mutex mutex;  // the utmp reading functions keep global state
    std::lock_guard lock(mutex);
    std::optional<std::string> file = GetEnvironmentUtf8("WINLAYER_UTMP");
    if (file && utmpxname(file->c_str()) != 0)
        return std::nullopt;
    setutxent();
    std::optional<std::string> owner;
    while (const utmpx* entry = getutxent()) {
        if (entry->ut_type != USER_PROCESS)
            continue;
        std::string_view line(entry->ut_line, strnlen(entry->ut_line, sizeof entry->ut_line));
        std::string_view host(entry->ut_host, strnlen(entry->ut_host, sizeof entry->ut_host));
        if ((line.starts_with(":") || line == "tty7" || host.starts_with(":")) &&
            entry->ut_user[0] != '\0') {
            owner = std::string(entry->ut_user, strnlen(entry->ut_user, sizeof entry->ut_user));
            break;
        }
    }
    endutxent();
    if (file)
        utmpxname("/var/run/utmp");
    return owner;
}

std::string DomainName() {
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    std::string name(host, strcspn(host, "."));
    for (char& c : name)
        c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
    return name.substr(0, 15);  // a NetBIOS computer name
}

}  // namespace

std::optional<std::string> AccountNameOfUid(uid_t uid) {
    if (uid == geteuid()) {
        if (std::optional<std::string> name = GetEnvironmentUtf8("WINLAYER_USER");
            name && !name->empty())
            return name;
    }
    passwd entry;
    passwd* result = nullptr;
    std::vector<char> buffer(16384);
    if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &result) != 0 || result == nullptr)
        return std::nullopt;
    return std::string(result->pw_name);
}

std::string ProcessAccountName() {
    if (std::optional<std::string> name = AccountNameOfUid(geteuid()))
        return *name;
    std::optional<std::string> user = GetEnvironmentUtf8("USER");
    return user && !user->empty() ? *user : std::string("user");
}

std::optional<std::string> ConsoleAccountName() {
    if (std::optional<std::string> fixed = GetEnvironmentUtf8("WINLAYER_CONSOLE_USER")) {
        if (fixed->empty())
            return std::nullopt;
        return fixed;
    }
    if (std::optional<std::string> owner = XSessionOwner())
        return owner;
    if (std::optional<std::string> sudoUser = GetEnvironmentUtf8("SUDO_USER");
        sudoUser && !sudoUser->empty())
        return sudoUser;
    return ProcessAccountName();
}

std::optional<uid_t> UidOfSid(const void* sid) {
    if (sid == nullptr)
        return std::nullopt;
    UnixUserSid value;
    std::memcpy(&value, sid, sizeof value);
    const UnixUserSid expected;
    if (value.revision != 1 || value.subAuthorityCount != 2 ||
        std::memcmp(value.authority, expected.authority, sizeof value.authority) != 0 ||
        value.subAuthority[0] != 1)
        return std::nullopt;
    return static_cast<uid_t>(value.subAuthority[1]);
}

}  // namespace winlayer

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

BOOL WINAPI OpenProcessToken(HANDLE process, DWORD, PHANDLE token) {
    if (token == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *token = nullptr;
    uid_t uid = geteuid();
    // GetCurrentProcess's pseudo handle names the calling process.
    if (process != reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1))) {
        std::shared_ptr<ProcessObject> object = ObjectFromHandle<ProcessObject>(process);
        struct stat st;
        if (!object) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        if (stat(("/proc/" + std::to_string(object->pid())).c_str(), &st) != 0) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        uid = st.st_uid;
    }
    *token = NewHandle(std::make_shared<TokenObject>(uid));
    return TRUE;
}

BOOL WINAPI GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, LPVOID info,
                                DWORD infoLength, PDWORD returnLength) {
    std::shared_ptr<TokenObject> object = ObjectFromHandle<TokenObject>(token);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (infoClass != TokenUser || returnLength == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // The SID follows the TOKEN_USER in the caller's buffer, as Windows lays it out.
    const DWORD needed = static_cast<DWORD>(sizeof(TOKEN_USER) + sizeof(UnixUserSid));
    *returnLength = needed;
    if (info == nullptr || infoLength < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    UnixUserSid sid;
    sid.subAuthority[1] = static_cast<DWORD>(object->uid());
    BYTE* sidBytes = static_cast<BYTE*>(info) + sizeof(TOKEN_USER);
    std::memcpy(sidBytes, &sid, sizeof sid);
    TOKEN_USER user{};
    user.User.Sid = sidBytes;
    std::memcpy(info, &user, sizeof user);
    return TRUE;
}

BOOL WINAPI LookupAccountSidA(LPCSTR systemName, PSID sid, LPSTR name, LPDWORD nameSize,
                              LPSTR domainName, LPDWORD domainSize, PSID_NAME_USE use) {
    if (nameSize == nullptr || domainSize == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (systemName != nullptr && systemName[0] != '\0') {
        SetLastError(ERROR_NONE_MAPPED);  // only the local computer is known
        return FALSE;
    }
    std::optional<uid_t> uid = UidOfSid(sid);
    std::optional<std::string> account = uid ? AccountNameOfUid(*uid) : std::nullopt;
    if (!account) {
        SetLastError(ERROR_NONE_MAPPED);
        return FALSE;
    }
    std::string ansiName = AnsiFromUtf8(*account);
    std::string domain = DomainName();
    // Both sizes report what is needed, NUL included, when either buffer is too small.
    if (name == nullptr || domainName == nullptr || *nameSize < ansiName.size() + 1 ||
        *domainSize < domain.size() + 1) {
        *nameSize = static_cast<DWORD>(ansiName.size() + 1);
        *domainSize = static_cast<DWORD>(domain.size() + 1);
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(name, ansiName.c_str(), ansiName.size() + 1);
    std::memcpy(domainName, domain.c_str(), domain.size() + 1);
    *nameSize = static_cast<DWORD>(ansiName.size());
    *domainSize = static_cast<DWORD>(domain.size());
    if (use)
        *use = SidTypeUser;
    return TRUE;
}
