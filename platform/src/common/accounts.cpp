// Linux accounts as Windows sees them: account names, the console user, the computer name and
// the security identifiers of Linux users.
#include "common/accounts.h"

#include "kernel32/environment.h"

#include <pwd.h>
#include <unistd.h>
#include <utmpx.h>

#include <cstring>
#include <mutex>
#include <string_view>
#include <vector>

namespace winlayer {
namespace {

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

}  // namespace

std::string DomainName() {
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    std::string name(host, strcspn(host, "."));
    for (char& c : name)
        c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
    return name.substr(0, 15);  // a NetBIOS computer name
}

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
