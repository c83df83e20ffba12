// Linux accounts as Windows sees them: the account the process runs as, the user at the
// console, and security identifiers of the form S-1-22-1-<uid>.
#pragma once

#include <windows.h>

#include <sys/types.h>

#include <optional>
#include <string>

namespace winlayer {

// The account the process runs as (UTF-8): $WINLAYER_USER when set and not empty, else the
// account of the effective user id.
std::string ProcessAccountName();

// The account logged in on the graphical console (UTF-8). $WINLAYER_CONSOLE_USER decides when
// set: its value, or no console user at all when it is empty. Otherwise the owner of the seat's
// X session from utmp ($WINLAYER_UTMP names another utmp file), else $SUDO_USER, else the
// process account.
std::optional<std::string> ConsoleAccountName();

// The account name (UTF-8) of a user id; the process account's name for the effective user id.
std::optional<std::string> AccountNameOfUid(uid_t uid);

// Security identifiers of Linux users: revision 1, authority 22, sub-authorities 1 and the uid.
struct UnixUserSid {
    BYTE revision = 1;
    BYTE subAuthorityCount = 2;
    BYTE authority[6] = {0, 0, 0, 0, 0, 22};
    DWORD subAuthority[2] = {1, 0};
};
std::optional<uid_t> UidOfSid(const void* sid);

// The computer's NetBIOS name: the host name up to its first dot, in upper case, at most 15
// characters. It serves as the domain of local accounts.
std::string DomainName();

}  // namespace winlayer
