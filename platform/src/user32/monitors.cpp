// Monitors: EnumDisplayDevicesW, EnumDisplaySettingsExW and GetSystemMetrics, from the display's
// monitor layout (primary first, its origin at 0, 0).
#include "drivers/display_driver.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace winlayer {
namespace {

// The display's monitors with the primary first and every one named \\.\DISPLAYn.
std::vector<MonitorDesc> OrderedMonitors() {
    std::vector<MonitorDesc> monitors = Display().Monitors();
    std::stable_partition(monitors.begin(), monitors.end(),
                          [](const MonitorDesc& m) { return m.primary; });
    for (size_t i = 0; i < monitors.size(); ++i) {
        if (monitors[i].name.empty())
            monitors[i].name =
                u"\\\\.\\DISPLAY" + std::u16string(1, u'1' + static_cast<char16_t>(i));
    }
    return monitors;
}

template <size_t N>
void CopyName(WCHAR (&field)[N], std::u16string_view text) {
    size_t count = std::min(text.size(), N - 1);
    std::copy_n(text.begin(), count, field);
    field[count] = 0;
}

bool SameName(std::u16string_view a, const WCHAR* b) {
    auto fold = [](char16_t c) { return c >= u'a' && c <= u'z' ? c - u'a' + u'A' : c; };
    size_t i = 0;
    for (; b[i] != 0; ++i) {
        if (i >= a.size() || fold(a[i]) != fold(b[i]))
            return false;
    }
    return i == a.size();
}

const MonitorDesc* PrimaryOf(const std::vector<MonitorDesc>& monitors) {
    return monitors.empty() ? nullptr : &monitors.front();
}

}  // namespace
}  // namespace winlayer

using namespace winlayer;

BOOL WINAPI EnumDisplayDevicesW(LPCWSTR device, DWORD index, PDISPLAY_DEVICEW displayDevice,
                                DWORD) {
    // Only the adapters are listed (device null); the monitors behind one are not.
    if (device != nullptr || displayDevice == nullptr ||
        displayDevice->cb < offsetof(DISPLAY_DEVICEW, DeviceID)) {
        return FALSE;
    }
    std::vector<MonitorDesc> monitors = OrderedMonitors();
    if (index >= monitors.size())
        return FALSE;
    const MonitorDesc& monitor = monitors[index];
    DWORD size = std::min<DWORD>(displayDevice->cb, sizeof(DISPLAY_DEVICEW));
    DISPLAY_DEVICEW filled{};
    filled.cb = displayDevice->cb;
    CopyName(filled.DeviceName, monitor.name);
    CopyName(filled.DeviceString, u"Virtual display adapter");
    filled.StateFlags = (monitor.attached ? DISPLAY_DEVICE_ATTACHED_TO_DESKTOP : 0) |
                        (monitor.primary ? DISPLAY_DEVICE_PRIMARY_DEVICE : 0);
    std::memcpy(displayDevice, &filled, size);
    return TRUE;
}

BOOL WINAPI EnumDisplaySettingsExW(LPCWSTR device, DWORD mode, DEVMODEW* devMode, DWORD) {
    if (devMode == nullptr)
        return FALSE;
    // Each device has one mode, its current one.
    if (mode != ENUM_CURRENT_SETTINGS && mode != ENUM_REGISTRY_SETTINGS && mode != 0)
        return FALSE;
    std::vector<MonitorDesc> monitors = OrderedMonitors();
    const MonitorDesc* monitor = nullptr;
    for (const MonitorDesc& m : monitors) {
        if (device == nullptr ? m.primary || &m == PrimaryOf(monitors) : SameName(m.name, device)) {
            monitor = &m;
            break;
        }
    }
    if (monitor == nullptr || !monitor->attached)
        return FALSE;
    size_t size = devMode->dmSize != 0 ? devMode->dmSize : sizeof(DEVMODEW);
    DEVMODEW filled{};
    CopyName(filled.dmDeviceName, monitor->name);
    filled.dmSpecVersion = 0x0401;
    filled.dmSize = static_cast<WORD>(std::min(size, sizeof(DEVMODEW)));
    filled.dmFields = DM_POSITION | DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT | DM_DISPLAYFLAGS |
                      DM_DISPLAYFREQUENCY | DM_LOGPIXELS;
    filled.dmPosition = POINTL{monitor->rect.left, monitor->rect.top};
    filled.dmBitsPerPel = 32;
    filled.dmPelsWidth = static_cast<DWORD>(monitor->rect.right - monitor->rect.left);
    filled.dmPelsHeight = static_cast<DWORD>(monitor->rect.bottom - monitor->rect.top);
    filled.dmDisplayFrequency = 60;
    filled.dmLogPixels = static_cast<WORD>(monitor->dpi);
    std::memcpy(devMode, &filled, std::min(size, sizeof(DEVMODEW)));
    return TRUE;
}

BOOL WINAPI EnumDisplaySettingsW(LPCWSTR device, DWORD mode, DEVMODEW* devMode) {
    return EnumDisplaySettingsExW(device, mode, devMode, 0);
}

int WINAPI GetSystemMetrics(int index) {
    switch (index) {
        case SM_CXICON:
        case SM_CYICON:
        case SM_CXCURSOR:
        case SM_CYCURSOR:
            return 32;
        case SM_CXSMICON:
        case SM_CYSMICON:
            return 16;
        case SM_CXBORDER:
        case SM_CYBORDER:
            return 1;
        case SM_CYCAPTION:
            return 23;
        default:
            break;
    }
    std::vector<MonitorDesc> monitors = OrderedMonitors();
    const MonitorDesc* primary = PrimaryOf(monitors);
    RECT virtualScreen{0, 0, 0, 0};
    int attached = 0;
    for (const MonitorDesc& m : monitors) {
        if (!m.attached)
            continue;
        const RECT& r = m.rect;
        virtualScreen = attached++ == 0 ? r
                                        : RECT{std::min(virtualScreen.left, r.left),
                                               std::min(virtualScreen.top, r.top),
                                               std::max(virtualScreen.right, r.right),
                                               std::max(virtualScreen.bottom, r.bottom)};
    }
    switch (index) {
        case SM_CXSCREEN:
            return primary ? primary->rect.right - primary->rect.left : 0;
        case SM_CYSCREEN:
            return primary ? primary->rect.bottom - primary->rect.top : 0;
        case SM_XVIRTUALSCREEN:
            return virtualScreen.left;
        case SM_YVIRTUALSCREEN:
            return virtualScreen.top;
        case SM_CXVIRTUALSCREEN:
            return virtualScreen.right - virtualScreen.left;
        case SM_CYVIRTUALSCREEN:
            return virtualScreen.bottom - virtualScreen.top;
        case SM_CMONITORS:
            return attached;
        default:
            return 0;
    }
}
