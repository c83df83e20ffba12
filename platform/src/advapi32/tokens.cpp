// Process tokens and account lookup: a token names the Linux user of a process, and its SID is
// the S-1-22-1-<uid> form of that user.
#include "common/accounts.h"
#include "kernel32/codepage.h"
#include "kernel32/kernel_object.h"
#include "kernel32/process_object.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

namespace {

using namespace winlayer;

class TokenObject : public KernelObject {
  public:
    explicit TokenObject(uid_t uid) : uid_(uid) {}
    uid_t uid() const { return uid_; }

  private:
    uid_t uid_;
};

}  // namespace

using namespace winlayer;

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
