// Text drawing: DrawTextW's placement over the realised font.
#include "gdi32/dc.h"

// Text is not drawn yet: the call fails, as for a DC without a usable font.
int WINAPI DrawTextW(HDC, LPCWSTR, int, LPRECT, UINT) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return 0;
}
