// The shortcut to the installed client on the desktop of all users.
#pragma once

// Creates or replaces "<broker name>v9.5.lnk" on the common desktop, pointing at the client's
// executable, working in the installation folder, with the broker's icon when the installation
// has one. Logs every step with its HRESULT. Returns false only when the shortcut path, the
// target or the working folder cannot be converted to UTF-16 (empty or too long); a COM failure
// is logged and still returns true.
bool CreateDesktopShortcut();
