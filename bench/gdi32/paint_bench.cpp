// Paints a composition like the installer dialog's 1,000 times into a window surface, the way its
// WM_PAINT does (memory DC and bitmap, background bitmap loaded and blitted, frame, caption bar,
// then for "idle" the close cross, broker code and round button with its label, for "installing"
// the percentage, step text and banner and the progress bar's own painting; the copy to the
// window), and prints the time of one painting.
// Usage: gdi32_paint_bench [PAINTINGS] [idle|installing]
#include "gdi32/dc.h"

#include <windows.h>
#include <winlayer/gdi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

HFONT DialogFont(int height) {
    return CreateFontW(height, 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_OUTLINE_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, VARIABLE_PITCH,
                       u"Microsoft Yahei");
}

// The progress bar's painting: track, fill and its square end, into a 434 x 15 memory bitmap.
void PaintProgressBar(HDC window, int position) {
    const RECT client{0, 0, 434, 15};
    HDC memory = CreateCompatibleDC(window);
    HBITMAP picture = CreateCompatibleBitmap(window, 434, 15);
    HGDIOBJ oldPicture = SelectObject(memory, picture);
    HBRUSH white = CreateSolidBrush(0xFFFFFF);
    FillRect(memory, &client, white);
    HGDIOBJ oldBrush = SelectObject(memory, white);
    HPEN track = CreatePen(PS_SOLID, 1, 0xE2E2E2);
    HGDIOBJ oldPen = SelectObject(memory, track);
    RoundRect(memory, 0, 0, 434, 15, 12, 12);
    HPEN fillPen = CreatePen(PS_SOLID, 1, 0x7373FC);
    HBRUSH fill = CreateSolidBrush(0x7373FC);
    const int right = 3 + 428 * position / 100;
    SelectObject(memory, fillPen);
    SelectObject(memory, fill);
    RoundRect(memory, 3, 3, right, 12, 5, 5);
    RECT end{right - 4, 3, right, 12};
    FillRect(memory, &end, fill);
    BitBlt(window, 34, 260, 434, 15, memory, 0, 0, SRCCOPY);
    SelectObject(memory, oldPen);
    SelectObject(memory, oldBrush);
    SelectObject(memory, oldPicture);
    DeleteObject(track);
    DeleteObject(fillPen);
    DeleteObject(fill);
    DeleteObject(white);
    DeleteDC(memory);
    DeleteObject(picture);
}

// The content of the installing state: percentage, step text, banner.
void PaintInstalling(HDC memory, HFONT caption, HFONT banner) {
    SetTextColor(memory, 0);
    SelectObject(memory, caption);
    RECT status{32, 234, 466, 254};
    DrawTextW(memory, u"57%", -1, &status, DT_SINGLELINE | DT_VCENTER | DT_RIGHT);
    DrawTextW(memory, u"安装运行库", -1, &status, DT_SINGLELINE | DT_VCENTER);
    SetTextColor(memory, 0xFFFFFF);
    SelectObject(memory, banner);
    RECT wait{181, 96, 461, 123};
    DrawTextW(memory, u"正在安装，请稍候……", -1, &wait, DT_SINGLELINE | DT_VCENTER);
}

bool installing = false;

void Paint(HDC window, HFONT caption, HFONT banner, HFONT button) {
    const RECT client{0, 0, 500, 310};
    HDC memory = CreateCompatibleDC(window);
    HBITMAP picture = CreateCompatibleBitmap(window, 500, 310);
    HGDIOBJ oldPicture = SelectObject(memory, picture);
    HGDIOBJ oldFont = SelectObject(memory, caption);
    SetBkMode(memory, TRANSPARENT);

    HBRUSH white = CreateSolidBrush(0xFFFFFF);
    FillRect(memory, &client, white);
    DeleteObject(white);
    HBRUSH border = CreateSolidBrush(0x464646);
    FrameRect(memory, &client, border);
    DeleteObject(border);
    HBRUSH bar = CreateSolidBrush(0x2D42DA);
    RECT captionRect{0, 0, 500, 30};
    FillRect(memory, &captionRect, bar);

    HBITMAP background = LoadBitmapW(nullptr, MAKEINTRESOURCEW(installing ? 104 : 101));
    HDC source = CreateCompatibleDC(memory);
    HGDIOBJ oldSource = SelectObject(source, background);
    BitBlt(memory, 0, 0, 500, 310, source, 0, 0, SRCCOPY);
    SelectObject(source, oldSource);
    DeleteDC(source);
    DeleteObject(background);

    if (installing) {
        PaintInstalling(memory, caption, banner);
        BitBlt(window, 0, 0, 500, 310, memory, 0, 0, SRCCOPY);
        SelectObject(memory, oldFont);
        SelectObject(memory, oldPicture);
        DeleteDC(memory);
        DeleteObject(picture);
        DeleteObject(bar);
        PaintProgressBar(window, 57);
        return;
    }

    HPEN cross = CreatePen(PS_SOLID, 1, 0xE7E7E7);
    HGDIOBJ oldPen = SelectObject(memory, cross);
    MoveToEx(memory, 484, 8, nullptr);
    LineTo(memory, 493, 17);
    MoveToEx(memory, 484, 16, nullptr);
    LineTo(memory, 493, 7);
    SelectObject(memory, oldPen);
    DeleteObject(cross);

    SelectObject(memory, banner);
    SetTextColor(memory, 0xE7E7E7);
    RECT codeRect{200, 142, 300, 178};
    DrawTextW(memory, u"471203", -1, &codeRect,
              DT_NOPREFIX | DT_SINGLELINE | DT_BOTTOM | DT_CENTER);

    HPEN pen = CreatePen(PS_SOLID, 1, 0x4140D9);
    HBRUSH fill = CreateSolidBrush(0x1015A5);
    oldPen = SelectObject(memory, pen);
    HGDIOBJ oldBrush = SelectObject(memory, fill);
    RoundRect(memory, 200, 202, 300, 238, 5, 5);
    SelectObject(memory, oldPen);
    SelectObject(memory, oldBrush);
    RECT label{200, 201, 300, 237};
    SelectObject(memory, button);
    DrawTextW(memory, u"安装", -1, &label, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
    DeleteObject(pen);
    DeleteObject(fill);
    DeleteObject(bar);

    BitBlt(window, 0, 0, 500, 310, memory, 0, 0, SRCCOPY);
    SelectObject(memory, oldFont);
    SelectObject(memory, oldPicture);
    DeleteDC(memory);
    DeleteObject(picture);
}

}  // namespace

int main(int argc, char** argv) {
    int paintings = argc > 1 ? std::atoi(argv[1]) : 1000;
    if (paintings <= 0)
        paintings = 1000;
    installing = argc > 2 && std::strcmp(argv[2], "installing") == 0;
    winlayer::Surface surface(500, 310);
    HDC window = winlayer::CreateSurfaceDC(&surface, {0, 0}, {{0, 0, 500, 310}});
    HFONT caption = DialogFont(20), banner = DialogFont(27), button = DialogFont(22);
    Paint(window, caption, banner, button);  // realises the fonts
    int objects = winlayer::testing::GdiObjectCount();
    std::vector<double> times;
    times.reserve(static_cast<size_t>(paintings));
    auto began = std::chrono::steady_clock::now();
    for (int i = 0; i < paintings; ++i) {
        auto start = std::chrono::steady_clock::now();
        Paint(window, caption, banner, button);
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::chrono::duration<double, std::milli> total = std::chrono::steady_clock::now() - began;
    std::sort(times.begin(), times.end());
    std::printf(
        "%d %s paintings of 500 x 310: mean_ms=%.3f median_ms=%.3f p95_ms=%.3f "
        "slowest_ms=%.3f\n",
        paintings, installing ? "installing" : "idle", total.count() / paintings,
        times[times.size() / 2], times[times.size() * 95 / 100], times.back());
    if (winlayer::testing::GdiObjectCount() != objects) {
        std::fprintf(stderr, "the paintings left GDI objects behind\n");
        return 1;
    }
    return 0;
}
