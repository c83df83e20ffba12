// Layout and painting of a message box window: the text at the top left, line by line (it breaks
// at "\n"), and a centred row of buttons at the bottom, in the interface's CJK-capable face.
#include "user32/message_box_paint.h"

#include <algorithm>

namespace winlayer {
namespace {

constexpr int kMargin = 20;
constexpr int kButtonWidth = 80;
constexpr int kButtonHeight = 26;
constexpr int kButtonGap = 10;
constexpr int kMinWidth = 240;
constexpr COLORREF kFace = RGB(240, 240, 240);
constexpr COLORREF kPressedFace = RGB(216, 216, 216);
constexpr COLORREF kEdge = RGB(112, 112, 112);

HFONT BoxFont() {
    return CreateFontW(-14, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, u"Microsoft YaHei");
}

// The text's extent in the box font; an estimate when no font can be realised.
SIZE TextExtent(const std::u16string& text) {
    SIZE extent{0, 0};
    HDC dc = CreateCompatibleDC(nullptr);
    HFONT font = BoxFont();
    HGDIOBJ previous = SelectObject(dc, font);
    RECT rect{0, 0, 0, 0};
    if (!text.empty() && DrawTextW(dc, text.c_str(), -1, &rect, DT_CALCRECT | DT_NOPREFIX) > 0)
        extent = SIZE{rect.right, rect.bottom};
    SelectObject(dc, previous);
    DeleteObject(font);
    DeleteDC(dc);
    if (extent.cy == 0) {
        int lines = 1, width = 0, widest = 0;
        for (char16_t c : text) {
            if (c == u'\n') {
                ++lines;
                width = 0;
                continue;
            }
            width += c < 0x2E80 ? 7 : 14;
            widest = std::max(widest, width);
        }
        extent = SIZE{widest, lines * 20};
    }
    return extent;
}

void Fill(HDC dc, const RECT& rect, COLORREF color, bool frame) {
    HBRUSH brush = CreateSolidBrush(color);
    if (frame)
        FrameRect(dc, &rect, brush);
    else
        FillRect(dc, &rect, brush);
    DeleteObject(brush);
}

}  // namespace

SIZE LayOutMessageBox(MessageBoxLayout& box) {
    SIZE text = TextExtent(box.text);
    int buttons = static_cast<int>(box.buttons.size());
    int row = buttons * kButtonWidth + std::max(buttons - 1, 0) * kButtonGap;
    int width = std::max({kMinWidth, static_cast<int>(text.cx) + 2 * kMargin, row + 2 * kMargin});
    int height = kMargin + text.cy + kMargin + kButtonHeight + kMargin;
    box.textRect = RECT{kMargin, kMargin, width - kMargin, kMargin + text.cy};
    int x = (width - row) / 2, y = height - kMargin - kButtonHeight;
    for (auto& button : box.buttons) {
        button.rect = RECT{x, y, x + kButtonWidth, y + kButtonHeight};
        x += kButtonWidth + kButtonGap;
    }
    return SIZE{width, height};
}

void PaintMessageBox(HDC dc, const MessageBoxLayout& box) {
    RECT client;
    GetClientRect(box.hwnd, &client);
    Fill(dc, client, RGB(255, 255, 255), false);
    HFONT font = BoxFont();
    HGDIOBJ previous = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    RECT text = box.textRect;
    DrawTextW(dc, box.text.c_str(), -1, &text, DT_NOPREFIX | DT_LEFT);
    for (const auto& button : box.buttons) {
        Fill(dc, button.rect, button.id == box.pressed ? kPressedFace : kFace, false);
        Fill(dc, button.rect, kEdge, true);
        RECT label = button.rect;
        DrawTextW(dc, button.label.c_str(), -1, &label,
                  DT_NOPREFIX | DT_SINGLELINE | DT_VCENTER | DT_CENTER);
    }
    SelectObject(dc, previous);
    DeleteObject(font);
}

}  // namespace winlayer
