#include "ui/mem_dc.h"

TMemDC::TMemDC(HWND window) : hwnd(window) {
    copyOnEnd = true;
    windowDC = BeginPaint(window, &paint);
    SetBkMode(windowDC, TRANSPARENT);
    RECT client{};
    GetClientRect(window, &client);
    width = client.right - client.left;
    height = client.bottom - client.top;
    memoryDC = CreateCompatibleDC(windowDC);
    bitmap = CreateCompatibleBitmap(windowDC, width, height);
    previousBitmap = SelectObject(memoryDC, bitmap);
}

TMemDC::~TMemDC() {
    if (copyOnEnd)
        BitBlt(windowDC, 0, 0, width, height, memoryDC, 0, 0, SRCCOPY);
    SelectObject(memoryDC, previousBitmap);
    DeleteDC(memoryDC);
    DeleteObject(bitmap);
    EndPaint(hwnd, &paint);
}
