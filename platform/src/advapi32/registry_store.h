// The registry's storage: one text file per hive under $WINROOT/registry/ (HKLM.reg, HKCR.reg,
// HKCU.reg) in the "Windows Registry Editor Version 5.00" format, written in UTF-8 with LF line
// ends so that a person can read, grep and diff it. Every change is a read-modify-write of the
// whole hive under an advisory lock (flock on HKxx.reg.lock), written to a temporary file and
// renamed over the hive, so concurrent writers never lose a change and readers never see half a
// file.
#pragma once

#include "advapi32/hive_text.h"
#include "advapi32/registry_key.h"

#include <windows.h>

#include <functional>
#include <string>

namespace winlayer {

// $WINROOT/registry/HKLM.reg and its siblings.
std::string HiveFilePath(Hive hive);

// True when the hive file exists without its owner-write permission bit: a read-only hive
// refuses every change with ERROR_ACCESS_DENIED (checked here because tests run as root).
bool HiveRefusesChanges(Hive hive);

// Reads the hive as it is on disk now. A hive without a file holds only the keys every Windows
// installation has (the Uninstall keys of both registry views in HKLM, Software in HKCU). Returns a
// Win32 error code: ERROR_BADDB for a file that cannot be parsed, ERROR_CANTREAD when it cannot be
// read.
LONG ReadHive(Hive hive, RegistryKey* root);

// Under the hive's lock: reads it, lets `change` modify it and, when `change` returns
// ERROR_SUCCESS and sets *changed, writes it back atomically. Returns `change`'s result or the
// storage's error (ERROR_ACCESS_DENIED for a read-only hive, ERROR_CANTWRITE, ERROR_DISK_FULL).
LONG UpdateHive(Hive hive, const std::function<LONG(RegistryKey& root, bool* changed)>& change);

}  // namespace winlayer
