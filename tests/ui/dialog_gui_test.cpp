// The installer dialog on the headless display: its pixels in each state, what clicks do in each
// state, the notifications' effects, and pictures of the four states in the three languages.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "dialog_fixture.h"

namespace {

using uitest::DialogTest;
using uitest::kPlaceBar;
namespace display = winlayer::testing;

constexpr COLORREF kLight = 0xE7E7E7;
constexpr COLORREF kGrey = 0x969696;
constexpr COLORREF kButton = 0x1015A5;
constexpr COLORREF kButtonHover = 0x070D7D;
constexpr COLORREF kButtonPen = 0x4140D9;
constexpr RECT kStatusRect = {32, 234, 466, 254};
constexpr RECT kButtonRect = {200, 202, 300, 238};

// The pixels of a bitmap resource.
display::Image BitmapPixels(WORD id) {
    display::Image image;
    HBITMAP bitmap = LoadBitmapW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id));
    if (bitmap == nullptr)
        return image;
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(dc, bitmap);
    image.width = 500;
    image.height = 310;
    for (int y = 0; y < 310; ++y)
        for (int x = 0; x < 500; ++x) {
            COLORREF c = GetPixel(dc, x, y);
            image.pixels.push_back(((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF));
        }
    SelectObject(dc, previous);
    DeleteDC(dc);
    DeleteObject(bitmap);
    return image;
}

// Whether the window shows the bitmap at points nothing is drawn over.
bool ShowsBitmap(const display::Image& shown, const display::Image& bitmap) {
    for (POINT p : {POINT{20, 60}, POINT{100, 150}, POINT{480, 200}, POINT{60, 290},
                    POINT{450, 295}, POINT{10, 40}})
        if (shown.At(p.x, p.y) != bitmap.At(p.x, p.y))
            return false;
    return true;
}

void ExpectCross(const display::Image& image, COLORREF color) {
    for (int i = 0; i <= 8; ++i) {
        EXPECT_EQ(image.At(484 + i, 8 + i), color) << i;
        EXPECT_EQ(image.At(484 + i, 16 - i), color) << i;
    }
}

class DialogPixelsTest : public DialogTest {
  protected:
    void SetUp() override {
        DialogTest::SetUp();
        Start();
    }
    void Installing(int position, int step) {
        runner.Post(kPlaceBar, 0, 0);
        runner.Post(WM_INSTALL_STEP, 0, step);
        runner.Post(WM_INSTALL_PROGRESS, 0, position);
    }
};

TEST_F(DialogPixelsTest, OpensAtItsSizeWithTitleIconTargetAndFolders) {
    RECT rect = runner.WindowRect();
    EXPECT_EQ(rect.right - rect.left, 500);
    EXPECT_EQ(rect.bottom - rect.top, 310);
    WCHAR title[16] = {};
    GetWindowTextW(runner.hwnd, title, 16);
    EXPECT_EQ(std::u16string(title), u"\u8FDC\u5E06");
    EXPECT_EQ(InstallerWindow, runner.hwnd);
    EXPECT_NE(GetInstallerSettings().stagingFolder.find("BRivostel471203v9.5temp"),
              std::string::npos);
    EXPECT_EQ(dialog().state, InstallState::Idle);
    EXPECT_EQ(dialog().remoteFolder, "9.5BRivostelIE");
    EXPECT_NE(dialog().client, nullptr);
    EXPECT_EQ(GetParent(dialog().progressBar->hwnd), runner.hwnd);
}

TEST_F(DialogPixelsTest, IdleShowsPicture101CrossCodeAndInstallButton) {
    display::Image image = runner.Capture();
    EXPECT_TRUE(ShowsBitmap(image, BitmapPixels(kIdleBitmap)));
    ExpectCross(image, kLight);
    EXPECT_EQ(image.At(203, 220), kButton);
    EXPECT_EQ(image.At(296, 220), kButton);
    for (POINT p : {POINT{200, 220}, POINT{299, 220}, POINT{250, 202}, POINT{250, 237}})
        EXPECT_EQ(image.At(p.x, p.y), kButtonPen) << p.x << "," << p.y;
    // The broker code, light grey, at the bottom of its rectangle and centred.
    RECT code = uitest::InkBox(image, kLight, {200, 142, 300, 178});
    ASSERT_LT(code.left, code.right);
    EXPECT_LE(std::abs(code.left - 200 - (300 - code.right)), 3);
    EXPECT_GT(code.top, 150);
    // The label, light grey on the button.
    RECT label = uitest::InkBox(image, kLight, kButtonRect);
    ASSERT_LT(label.left, label.right);
    EXPECT_LE(std::abs(label.left - 200 - (300 - label.right)), 3);
}

TEST_F(DialogPixelsTest, ButtonDarkensAndItsLabelSinksOnePixelUnderThePointer) {
    display::Image before = runner.Capture();
    RECT label = uitest::InkBox(before, kLight, kButtonRect);
    runner.MoveTo(210, 220);
    display::Image hover = runner.Capture();
    EXPECT_EQ(hover.At(203, 220), kButtonHover);
    EXPECT_EQ(hover.At(200, 220), kButtonPen);
    RECT sunk = uitest::InkBox(hover, kLight, kButtonRect);
    EXPECT_EQ(sunk.top, label.top + 1);
    EXPECT_EQ(sunk.bottom, label.bottom + 1);
    EXPECT_EQ(sunk.left, label.left);
    display::MovePointer({1900, 1000});  // out of the window
    ASSERT_TRUE(runner.Idle());
    display::Image after = runner.Capture();
    EXPECT_EQ(after.At(203, 220), kButton);
    EXPECT_EQ(uitest::InkBox(after, kLight, kButtonRect).top, label.top);
}

TEST_F(DialogPixelsTest, CrossDarkensInItsHitArea) {
    runner.MoveTo(483, 7);
    ExpectCross(runner.Capture(), kGrey);
    runner.MoveTo(482, 7);
    ExpectCross(runner.Capture(), kLight);
    runner.MoveTo(492, 16);
    ExpectCross(runner.Capture(), kGrey);
    runner.MoveTo(493, 17);
    ExpectCross(runner.Capture(), kLight);
    EXPECT_EQ(dialog().closeRect.left, 483);
    EXPECT_EQ(dialog().closeRect.bottom, 17);
}

TEST_F(DialogPixelsTest, InstallingShowsPicture104StepPercentBannerAndBarButNoCross) {
    Installing(57, 3);
    display::Image image = runner.Capture();
    display::Image bitmap = BitmapPixels(kInstallingBitmap);
    EXPECT_TRUE(ShowsBitmap(image, bitmap));
    for (int i = 0; i <= 8; ++i)
        EXPECT_EQ(image.At(484 + i, 8 + i), bitmap.At(484 + i, 8 + i)) << i;
    EXPECT_EQ(image.At(203, 220), bitmap.At(203, 220));  // no button
    EXPECT_EQ(image.At(34 + 3 + 200, 260 + 7), kProgressFillColor);
    EXPECT_EQ(image.At(34 + 246, 260 + 7), 0xFFFFFFu);
    // Step text from the left, percentage at the right, both black.
    RECT ink = uitest::InkBox(image, 0x000000, kStatusRect);
    EXPECT_LE(ink.left, 36);
    EXPECT_GE(ink.right, 463);
    // The banner in white.
    RECT banner = uitest::InkBox(image, 0xFFFFFF, {181, 96, 461, 123});
    EXPECT_LT(banner.left, banner.right);
    EXPECT_LE(banner.left, 185);
}

TEST_F(DialogPixelsTest, PercentagesAreRightAlignedAndShowThePositionExactly) {
    runner.Post(kPlaceBar, 0, 0);
    int width[4] = {};
    int i = 0;
    for (int position : {0, 29, 57, 100}) {
        runner.Post(WM_INSTALL_PROGRESS, 0, position);
        display::Image image = runner.Capture();
        RECT ink = uitest::InkBox(image, 0x000000, kStatusRect);
        ASSERT_LT(ink.left, ink.right) << position;
        EXPECT_GE(ink.right, 463) << position;
        EXPECT_LE(ink.right, 466) << position;
        width[i++] = ink.right - ink.left;
    }
    EXPECT_LT(width[0], width[1]);  // "0%" is narrower than "29%"
    EXPECT_LT(width[2], width[3]);  // "57%" than "100%"
}

TEST_F(DialogPixelsTest, FailedShowsTheStepAndFailureWordAtTheTopRightAndTheCross) {
    Installing(48, 3);
    runner.Post(WM_INSTALL_FAILED, 0, 3);
    EXPECT_EQ(dialog().state, InstallState::Failed);
    EXPECT_EQ(dialog().statusText,
              std::u16string(u"\u4E0B\u8F7D\u914D\u7F6E\u6587\u4EF6\u5931\u8D25"));
    display::Image image = runner.Capture();
    EXPECT_TRUE(ShowsBitmap(image, BitmapPixels(kInstallingBitmap)));
    ExpectCross(image, kLight);
    RECT ink = uitest::InkBox(image, 0x000000, {0, 220, 500, 258});
    ASSERT_LT(ink.left, ink.right);
    // DT_BOTTOM without DT_SINGLELINE does nothing: the line starts at the rectangle's top.
    EXPECT_GE(ink.top, 234);
    EXPECT_LE(ink.bottom, 254);
    EXPECT_GE(ink.right, 463);
    EXPECT_LE(ink.right, 466);
    EXPECT_GT(ink.left, 200);  // right-aligned, not from the left
    // The bar keeps its last fill.
    EXPECT_EQ(image.At(34 + 3 + 100, 260 + 7), kProgressFillColor);
}

TEST_F(DialogPixelsTest, FinishedShowsPicture101OpenButtonAndHidesTheBar) {
    Installing(79, 13);
    runner.Post(WM_INSTALL_DONE, 0, 0);
    EXPECT_EQ(dialog().state, InstallState::Finished);
    display::Image image = runner.Capture();
    display::Image bitmap = BitmapPixels(kIdleBitmap);
    EXPECT_TRUE(ShowsBitmap(image, bitmap));
    EXPECT_EQ(image.At(34 + 100, 260 + 7), bitmap.At(34 + 100, 260 + 7));
    EXPECT_FALSE(IsWindowVisible(dialog().progressBar->hwnd));
    EXPECT_EQ(image.At(203, 220), kButton);
    ExpectCross(image, kLight);
}

TEST_F(DialogPixelsTest, EveryPaintingIsOnePresentationAndLeavesNoGdiObject) {
    const int objects = winlayer::testing::GdiObjectCount();
    int presented = display::PresentCount(runner.hwnd);
    runner.MoveTo(250, 220);
    EXPECT_EQ(display::PresentCount(runner.hwnd), ++presented);
    runner.MoveTo(100, 100);
    EXPECT_EQ(display::PresentCount(runner.hwnd), ++presented);
    EXPECT_EQ(winlayer::testing::GdiObjectCount(), objects);
    runner.Post(kPlaceBar, 0, 0);
    runner.Post(WM_INSTALL_PROGRESS, 0, 29);  // the bar's paint and the dialog's
    runner.Post(WM_INSTALL_FAILED, 0, 4);
    runner.Post(WM_INSTALL_DONE, 0, 0);
    EXPECT_EQ(winlayer::testing::GdiObjectCount(), objects);
    presented = display::PresentCount(runner.hwnd);
    runner.Post(WM_INSTALL_STEP, 0, 5);
    EXPECT_EQ(display::PresentCount(runner.hwnd), presented + 1);
}

// Pictures of the four states in the three languages, for a person to look at.
class DialogPicturesTest : public DialogTest, public ::testing::WithParamInterface<int> {};

TEST_P(DialogPicturesTest, FourStates) {
    const int language = GetParam();
    GetInstallerSettings().uiLanguage = language;
    Start();
    const std::string name = language == 1033 ? "en" : language == 1028 ? "zh-TW" : "zh-CN";
    auto save = [&](const char* state) {
        ASSERT_TRUE(display::SavePng(runner.Capture(),
                                     uitest::OutputPath("dialog-" + name + "-" + state + ".png")));
    };
    save("idle");
    runner.Post(kPlaceBar, 0, 0);
    runner.Post(WM_INSTALL_STEP, 0, 7);
    runner.Post(WM_INSTALL_PROGRESS, 0, 57);
    save("installing");
    runner.Post(WM_INSTALL_FAILED, 0, 3);
    save("failed");
    runner.Post(WM_INSTALL_DONE, 0, 0);
    runner.MoveTo(250, 220);
    save("finished");
}

INSTANTIATE_TEST_SUITE_P(Languages, DialogPicturesTest, ::testing::Values(2052, 1028, 1033));

}  // namespace
