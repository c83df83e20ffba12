// The log of one installation, "install.log": one time-stamped line per event, for support staff.
// The worker writes it while the user-interface thread may close it; every operation below takes
// the log's lock, so a close never overlaps a write and every line reaches the file whole.
#pragma once

#include <windows.h>

// Opens the log file (a Windows path) with an fopen_s mode, "wb" for a new log or "ab+" to
// append; a log already open is closed first. False when the file cannot be opened: the log then
// stays closed and later lines are skipped.
bool OpenInstallLog(const char* path, const char* mode);

// Closes the log if it is open.
void CloseInstallLog();

// Appends "[hh:mm:ss mmm]", two TABs, the text (narrow, written byte for byte) and CR LF, and
// flushes. Does nothing when no log is open or the text is null.
void WriteInstallLog(const char* text);
