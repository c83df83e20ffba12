// A read/write stream over a file that other handles may open meanwhile: where a download's
// body goes.
#pragma once

#include <memory>
#include <iosfwd>

// Opens `path` (a Windows path) for input and output, emptied or created, untranslated, with no
// sharing restriction. Null when the file cannot be opened. The file is closed when the last
// owner of the stream lets go of it.
std::shared_ptr<std::iostream> OpenSharedFileStream(const char* path);
