// How MessageBoxW reaches a display. A display back end that can show boxes installs a driver; it
// is called on the thread that shows the box and runs its own modal loop there.
#pragma once

#include <windows.h>

#include <string>

namespace winlayer {

using MessageBoxDriver = int (*)(HWND owner, const std::u16string& text,
                                 const std::u16string& caption, UINT type);

// Installs the display's driver (null: none). Boxes answered by the test interface never reach it.
void SetMessageBoxDriver(MessageBoxDriver driver);

// The answer a box gets when nobody can be asked: its cancel-like button.
int DefaultMessageBoxAnswer(UINT type);

}  // namespace winlayer
