// The file functions through which minizip reads an archive: the runtime's stdio on a Windows
// path, behind a read buffer of our own. minizip seeks before every block it reads; a seek that
// lands inside the buffer costs nothing, so reading an entry's data is one large read after
// another instead of a seek and a small read per block.
#pragma once

#include <ioapi.h>

// Functions for unzOpen2_64; each open archive gets its own buffer, freed when it is closed.
zlib_filefunc64_def BufferedArchiveFileFunctions();
