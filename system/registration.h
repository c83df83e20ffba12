// Registration of the installed client with Windows: its entry among the installed programs and
// the URL scheme that opens it. Both write only to the registry, log every failure to the
// install log and go no further after it; values written before a failure stay.
#pragma once

// Writes the uninstall entry "Brivostel_<broker code>v9.5" below the machine's Uninstall key:
// DisplayName, UninstallString, DisplayIcon, DisplayVersion, Publisher and Shortcut, in that
// order.
void RegisterUninstallEntry();

// Writes the URL scheme "BRivostel<broker code>" below HKEY_CLASSES_ROOT, whose command is the
// client's executable path. Logs "URL Schemes: Start" first and "URL Schemes: Finish" when
// everything was written.
void RegisterUrlProtocol();
