// For tests: what the install log (core/install_log.h) does inside.
#pragma once

#include <windows.h>

// Whether a log is open.
bool InstallLogIsOpen();

// Formats the prefix of a log line for the given local time into a 260-byte buffer.
void FormatInstallLogPrefix(const SYSTEMTIME& time, char (&prefix)[260]);
