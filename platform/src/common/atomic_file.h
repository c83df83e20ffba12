// Whole-file replacement: readers see the old file or the new one, never a part.
#pragma once

#include <string>
#include <string_view>

namespace winlayer {

// Writes `bytes` to a temporary file beside `unixPath`, flushes it to disk and renames it over
// the path (mode 0644). Returns 0, or the errno of the step that failed; the temporary file is
// removed on failure.
int ReplaceFileAtomically(const std::string& unixPath, std::string_view bytes);

// Deletes the temporary files that a writer killed before its rename left beside `unixPath`:
// the path's name followed by `infix` and the six characters mkstemp adds ("HKLM.reg." for
// ReplaceFileAtomically's, ".tmp-" for the profile writer's). Only for a caller that holds the
// lock every writer of such files holds, so that no live writer's file is taken.
void RemoveAbandonedTemporaries(const std::string& unixPath, std::string_view infix);

}  // namespace winlayer
