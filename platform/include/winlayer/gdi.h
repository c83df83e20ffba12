// For tests only: what the layer's GDI can tell about itself. Not part of the Windows API.
#pragma once

#include <windows.h>

#include <string>

namespace winlayer::testing {

// Pens, brushes, fonts, bitmaps and DCs made by the program and not yet deleted (stock objects
// aside), so a test can prove that a painting leaves nothing behind.
int GdiObjectCount();

}  // namespace winlayer::testing
