#include <windows.h>
#include <winlayer/display.h>

#include "drivers/headless/headless_driver.h"

#include <gtest/gtest.h>

namespace {

namespace display = winlayer::testing;

class MonitorsTest : public ::testing::Test {
  protected:
    ~MonitorsTest() override { display::SetMonitors({}); }
};

TEST_F(MonitorsTest, DevicesAndTheirCurrentSettings) {
    display::SetMonitors({
        {{-1280, 0, 0, 1024}, 96, false, true},
        {{0, 0, 1920, 1080}, 96, true, true},
        {{1920, 0, 3840, 2160}, 144, false, true},
        {{0, 1080, 800, 1680}, 96, false, false},
    });
    struct Row {
        const char16_t* name;
        DWORD flags;
        bool settings;
        POINTL position;
        DWORD width, height, dpi;
    } rows[] = {
        {u"\\\\.\\DISPLAY1",
         DISPLAY_DEVICE_ATTACHED_TO_DESKTOP | DISPLAY_DEVICE_PRIMARY_DEVICE,
         true,
         {0, 0},
         1920,
         1080,
         96},
        {u"\\\\.\\DISPLAY2", DISPLAY_DEVICE_ATTACHED_TO_DESKTOP, true, {-1280, 0}, 1280, 1024, 96},
        {u"\\\\.\\DISPLAY3", DISPLAY_DEVICE_ATTACHED_TO_DESKTOP, true, {1920, 0}, 1920, 2160, 144},
        {u"\\\\.\\DISPLAY4", 0, false, {}, 0, 0, 0},
    };
    DWORD index = 0;
    for (const Row& row : rows) {
        DISPLAY_DEVICEW device{};
        device.cb = sizeof device;
        ASSERT_TRUE(EnumDisplayDevicesW(nullptr, index++, &device, 0));
        EXPECT_EQ(std::u16string(device.DeviceName), row.name);
        EXPECT_EQ(device.StateFlags, row.flags) << index;
        DEVMODEW mode{};
        mode.dmSize = sizeof mode;
        EXPECT_EQ(EnumDisplaySettingsExW(device.DeviceName, ENUM_CURRENT_SETTINGS, &mode, 0) != 0,
                  row.settings)
            << index;
        if (!row.settings)
            continue;
        EXPECT_EQ(mode.dmPosition.x, row.position.x) << index;
        EXPECT_EQ(mode.dmPosition.y, row.position.y) << index;
        EXPECT_EQ(mode.dmPelsWidth, row.width) << index;
        EXPECT_EQ(mode.dmPelsHeight, row.height) << index;
        EXPECT_EQ(mode.dmLogPixels, row.dpi) << index;
        EXPECT_EQ(mode.dmBitsPerPel, 32u);
        EXPECT_TRUE(mode.dmFields & DM_POSITION);
    }
    DISPLAY_DEVICEW past{};
    past.cb = sizeof past;
    EXPECT_FALSE(EnumDisplayDevicesW(nullptr, index, &past, 0));
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1920);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 1080) << "the primary's, not the tallest";
    EXPECT_EQ(GetSystemMetrics(SM_XVIRTUALSCREEN), -1280);
    EXPECT_EQ(GetSystemMetrics(SM_CXVIRTUALSCREEN), 5120);
    EXPECT_EQ(GetSystemMetrics(SM_CMONITORS), 3);
}

TEST(HeadlessMonitors, LayoutStrings) {
    using winlayer::HeadlessDriver;
    auto layout =
        HeadlessDriver::ParseMonitors("1920x1080+0+0,1280x1024+1920+0@144,!800x600+0+1080");
    ASSERT_TRUE(layout);
    ASSERT_EQ(layout->size(), 3u);
    EXPECT_TRUE((*layout)[0].primary) << "the first, when none is marked";
    EXPECT_EQ((*layout)[1].rect.left, 1920);
    EXPECT_EQ((*layout)[1].dpi, 144);
    EXPECT_FALSE((*layout)[2].attached);
    EXPECT_EQ((*layout)[2].rect.bottom, 1680);

    auto marked = HeadlessDriver::ParseMonitors("1280x1024-1280+0,*1920x1080+0+0");
    ASSERT_TRUE(marked);
    EXPECT_FALSE((*marked)[0].primary);
    EXPECT_EQ((*marked)[0].rect.left, -1280);
    EXPECT_TRUE((*marked)[1].primary);

    for (const char* bad : {"", "1920x1080", "1920x1080+0", "0x1080+0+0", "1920x1080+0+0@",
                            "1920x1080+0+0@96x", "axb+0+0"}) {
        EXPECT_FALSE(HeadlessDriver::ParseMonitors(bad)) << bad;
    }
}

}  // namespace
