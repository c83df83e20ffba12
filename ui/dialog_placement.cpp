// Where the installer dialog appears: centred horizontally on the monitor under the pointer,
// vertically on the primary screen.
#include "ui/brivostel_dlg.h"

namespace {

constexpr int kStandardDpi = 96;

}  // namespace

void TBrivostelDlg::PlaceOnScreen() {
    POINT cursor{};
    GetCursorPos(&cursor);
    LONG left = cursor.x;
    LONG right = cursor.x;
    for (DWORD index = 0;; ++index) {
        DISPLAY_DEVICEW device{};
        device.cb = sizeof device;
        if (!EnumDisplayDevicesW(nullptr, index, &device, 0))
            break;
        DEVMODEW mode{};
        mode.dmSize = sizeof mode;
        if (!EnumDisplaySettingsExW(device.DeviceName, ENUM_CURRENT_SETTINGS, &mode, 0))
            continue;
        LONG x = mode.dmPosition.x;
        LONG y = mode.dmPosition.y;
        LONG w = static_cast<LONG>(mode.dmPelsWidth);
        LONG h = static_cast<LONG>(mode.dmPelsHeight);
        if (mode.dmLogPixels > kStandardDpi) {
            x = x * kStandardDpi / mode.dmLogPixels;
            y = y * kStandardDpi / mode.dmLogPixels;
            w = w * kStandardDpi / mode.dmLogPixels;
            h = h * kStandardDpi / mode.dmLogPixels;
        }
        if (x == 0 && y == 0) {
            left = 0;
            right = w;
        }
        if (x <= cursor.x && cursor.x < x + w && y <= cursor.y && cursor.y < y + h) {
            left = x;
            right = x + w;
            break;
        }
    }
    const int primaryHeight = GetSystemMetrics(SM_CYSCREEN);
    MoveWindow(hwnd, left + (right - left - kDialogWidth) / 2, (primaryHeight - kDialogHeight) / 2,
               kDialogWidth, kDialogHeight, TRUE);
}
