// Layout and painting of a message box window.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace winlayer {

struct MessageBoxLayout {
    struct Button {
        int id;
        std::u16string label;
        RECT rect;  // client coordinates
    };
    HWND hwnd = nullptr;
    std::u16string text;
    std::string textUtf8;
    std::string captionUtf8;
    UINT type = 0;
    DWORD threadId = 0;
    std::vector<Button> buttons;
    RECT textRect{};
    int pressed = 0;  // the button under a press
    int answer = 0;
};

// Places the text and the buttons (a row at the bottom, centred); returns the window's size.
SIZE LayOutMessageBox(MessageBoxLayout& box);
void PaintMessageBox(HDC dc, const MessageBoxLayout& box);

}  // namespace winlayer
