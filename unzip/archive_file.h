// The file functions through which minizip reads an archive: the runtime's stdio on a Windows
// path, behind a read buffer of our own. minizip seeks before every block it reads; a seek that
// lands inside the buffer costs nothing, so reading an entry's data is one large read after
// another instead of a seek and a small read per block.
#pragma once

#include <ioapi.h>

#include <cstddef>

struct ArchiveFile;

// Functions for unzOpen2_64; each open archive gets its own buffer, freed when it is closed.
// The archive they open is kept in `*opened` (until it is closed), for ReadArchiveBytes.
zlib_filefunc64_def BufferedArchiveFileFunctions(ArchiveFile** opened);

// Up to `size` bytes of the archive from `at`, through its buffer, without moving where minizip
// stands; fewer at the end of the file or after a read error.
std::size_t ReadArchiveBytes(ArchiveFile& archive, ZPOS64_T at, void* out, std::size_t size);
