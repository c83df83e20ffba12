// Profile (INI) files and the remaining kernel calls.
#pragma once

#include "windef.h"

// Reads a value of a profile file. Sections and keys compare without regard to case; the value
// is trimmed and loses one pair of enclosing quotes; a missing file, section or key gives the
// default. The result is cut to size - 1 characters and terminated; returns the characters copied.
DWORD WINAPI GetPrivateProfileStringA(LPCSTR appName, LPCSTR keyName, LPCSTR defaultValue,
                                      LPSTR returnedString, DWORD size, LPCSTR fileName);
// Writes or replaces a value, creating the file and the section when missing. A null key deletes
// the section, a null value deletes the key. Fails when the folder does not exist.
BOOL WINAPI WritePrivateProfileStringA(LPCSTR appName, LPCSTR keyName, LPCSTR string,
                                       LPCSTR fileName);

BOOL WINAPI DosDateTimeToFileTime(WORD fatDate, WORD fatTime, LPFILETIME fileTime);
BOOL WINAPI FileTimeToDosDateTime(const FILETIME* fileTime, WORD* fatDate, WORD* fatTime);
