// Icon pixels for the display (WM_SETICON). The icon loaders register where they come from.
#pragma once

#include "drivers/display_driver.h"

#include <windows.h>

namespace winlayer {

using IconImageSource = IconImage (*)(HICON icon);
void SetIconImageSource(IconImageSource source);

// The icon's pixels, or an empty image when no source knows it.
IconImage IconImageOf(HICON icon);

}  // namespace winlayer
