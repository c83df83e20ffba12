// The central directory's record of one entry, with its zip64 sizes.
#pragma once

#include <unzip.h>

// Reads the record of the entry the archive stands on, as unzGetCurrentFileInfo64 does, and
// takes over the 64-bit sizes of its zip64 extra field wherever the record's 32-bit size field
// holds 0xFFFFFFFF. minizip does this itself only where unsigned long has 32 bits (the Windows
// build); where it has 64 (the Linux build) it compares with the wrong value and keeps the
// marker, which made an entry over 4 GiB overlap everything after it. A header offset beyond
// 4 GiB is not taken over: minizip would not use it, and the entry's local header then fails.
int ReadEntryRecord(unzFile archive, unz_file_info64* info, char* name, uLong nameSize,
                    char* comment, uLong commentSize);
