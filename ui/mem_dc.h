// A paint context for one WM_PAINT: everything is drawn into an off-screen bitmap of the client
// size, and the destructor puts the whole picture on the window in one BitBlt.
#pragma once

#include <windows.h>

class TMemDC {
  public:
    // BeginPaint on `window`; only while handling its WM_PAINT.
    explicit TMemDC(HWND window);
    // Copies the picture to the window when copyOnEnd is set, frees the memory DC and its
    // bitmap, and ends the paint.
    virtual ~TMemDC();
    TMemDC(const TMemDC&) = delete;
    TMemDC& operator=(const TMemDC&) = delete;

    operator HDC() const { return memoryDC; }

    HDC memoryDC = nullptr;  // where everything is drawn
    HDC windowDC = nullptr;  // BeginPaint's
    HBITMAP bitmap = nullptr;
    HWND hwnd = nullptr;
    bool copyOnEnd = true;
    PAINTSTRUCT paint{};

  private:
    HGDIOBJ previousBitmap = nullptr;
    int width = 0;
    int height = 0;
};
