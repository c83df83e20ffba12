// For tests only: changes the program's string table for the rest of the process, so that a test
// can give the program a string it lacks or take one away. Not part of the Windows API.
#pragma once

#include <windows.h>

#include <string_view>

namespace winlayer::testing {

// Adds string resource `id`, or replaces its text.
void SetStringResource(UINT id, std::u16string_view text);
// Removes string resource `id`; LoadString then finds nothing.
void RemoveStringResource(UINT id);
// Restores the string table the program was built with.
void ResetStringResources();

}  // namespace winlayer::testing
