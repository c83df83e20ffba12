// MessageBoxW's window: a top-level box of the layer's own class with the text and one button per
// answer, run by a modal loop on the calling thread's own queue.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace winlayer {

// Whether the display shows message box windows: a real display always, the headless one only
// when a test asks for them.
bool MessageBoxWindowsShown();
void SetMessageBoxWindowsOnHeadless(bool enabled);

// Shows the box and runs its loop until a button answers it; returns the button's id.
int RunMessageBoxWindow(HWND owner, const std::u16string& text, const std::u16string& caption,
                        UINT type);

// The buttons' ids and labels of a box type, in the user-interface language.
struct MessageBoxButton {
    int id;
    std::u16string label;
};
std::vector<MessageBoxButton> MessageBoxButtons(UINT type, LANGID language);

// Open boxes, for the test interface.
struct OpenMessageBox {
    HWND hwnd = nullptr;
    std::string text;     // UTF-8
    std::string caption;  // UTF-8
    UINT type = 0;
    DWORD threadId = 0;
};
// The oldest box still waiting for its answer, once one is up.
std::optional<OpenMessageBox> WaitForOpenMessageBox(DWORD timeoutMs);
// A button of an open box, in screen coordinates.
std::optional<RECT> MessageBoxButtonRect(HWND box, int id);

}  // namespace winlayer
