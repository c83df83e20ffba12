// Device contexts over a top-level window's surface, for BeginPaint and GetDC.
#pragma once

#include "common/surface.h"

#include <windows.h>

#include <vector>

namespace winlayer {

// A DC drawing into `surface` with its origin at `origin` (surface coordinates), clipped to
// `clip` (surface coordinates). Null when no DC can be made.
HDC MakeWindowDC(Surface* surface, POINT origin, std::vector<RECT> clip);
void FreeWindowDC(HDC dc);
// Fills a client rectangle with a brush (the class background of WM_ERASEBKGND).
void FillWithBrush(HDC dc, const RECT& rect, HBRUSH brush);

}  // namespace winlayer
