// Window DCs are the device-context code's surface DCs.
#include "user32/paint_dc.h"

#include "gdi32/dc.h"

namespace winlayer {

HDC MakeWindowDC(Surface* surface, POINT origin, std::vector<RECT> clip) {
    return CreateSurfaceDC(surface, origin, std::move(clip));
}

void FreeWindowDC(HDC dc) {
    ReleaseSurfaceDC(dc);
}

void FillWithBrush(HDC dc, const RECT& rect, HBRUSH brush) {
    FillRect(dc, &rect, brush);
}

}  // namespace winlayer
