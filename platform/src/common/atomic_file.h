// Whole-file replacement: readers see the old file or the new one, never a part.
#pragma once

#include <string>
#include <string_view>

namespace winlayer {

// Writes `bytes` to a temporary file beside `unixPath`, flushes it to disk and renames it over
// the path (mode 0644). Returns 0, or the errno of the step that failed; the temporary file is
// removed on failure.
int ReplaceFileAtomically(const std::string& unixPath, std::string_view bytes);

}  // namespace winlayer
