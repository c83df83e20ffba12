// The folders a newly set-up Windows machine has, made in a root when the layer first uses it.
// Windows makes them once, at setup (the machine's) and at an account's first logon (its
// profile); afterwards nobody makes them again, and naming a folder never makes it.
#pragma once

#include <string>

namespace winlayer {

// Gives the root (the Linux folder of $WINROOT) its standard folders, once: the machine's
// (C:\Users\Public\Desktop and Documents, C:\ProgramData's Start Menu, C:\Windows\System32 and
// Temp) when the root has not had them, a marker file in the root says so; the process
// account's profile (Desktop, Documents, AppData\Local\Temp, AppData\Roaming) when the account
// has no profile folder. Existing folders keep their spelling, so a root with C:\users gets no
// second C:\Users. Safe from any thread and between processes sharing a root; after the first
// call for a root in a process it costs a lookup.
void PrepareRoot(const std::string& root);

}  // namespace winlayer
