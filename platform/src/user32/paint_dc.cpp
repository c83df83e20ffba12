// Window DCs come from the device-context code once it draws into surfaces; until then painting
// keeps its bookkeeping with a null DC.
#include "user32/paint_dc.h"

namespace winlayer {

HDC MakeWindowDC(Surface*, POINT, std::vector<RECT>) {
    return nullptr;
}

void FreeWindowDC(HDC) {}

void FillWithBrush(HDC, const RECT&, HBRUSH) {}

}  // namespace winlayer
