// What an X server shows of a layer window is, pixel for pixel, what the headless display keeps
// for the same painting: the x11 driver presents the surface without changing it, and shows it
// again when the window is uncovered.
#include "x11_e2e_support.h"

#include "drivers/headless/headless_driver.h"

#include <X11/Xlib.h>

#include <gtest/gtest.h>

#include <optional>
#include <cstdlib>

namespace {

using e2e::UiWindow;

// Colours of every channel's extremes, thin frames and a one-pixel corner, so that a swapped
// channel or an off-by-one presentation shows.
void PaintScene(HDC dc, const RECT& client) {
    struct Band {
        RECT rect;
        COLORREF colour;
    };
    const Band bands[] = {
        {{0, 0, client.right, client.bottom}, RGB(0xFF, 0xFF, 0xFF)},
        {{10, 10, 110, 60}, RGB(0xFF, 0x00, 0x00)},
        {{110, 10, 210, 60}, RGB(0x00, 0xFF, 0x00)},
        {{210, 10, 310, 60}, RGB(0x00, 0x00, 0xFF)},
        {{10, 70, 310, 71}, RGB(0x12, 0x34, 0x56)},
        {{0, 0, 1, 1}, RGB(0x01, 0x02, 0x03)},
        {{client.right - 1, client.bottom - 1, client.right, client.bottom}, RGB(0xFE, 0xFD, 0xFC)},
    };
    for (const Band& b : bands) {
        HBRUSH brush = CreateSolidBrush(b.colour);
        FillRect(dc, &b.rect, brush);
        DeleteObject(brush);
    }
    HBRUSH frame = CreateSolidBrush(RGB(0x41, 0x40, 0xD9));
    RECT framed{20, 90, 300, 200};
    FrameRect(dc, &framed, frame);
    DeleteObject(frame);
    // Shapes, whose edges a shifted or scaled presentation would move.
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(0x07, 0x0D, 0x7D));
    HBRUSH fill = CreateSolidBrush(RGB(0xE7, 0xE7, 0xE7));
    HGDIOBJ oldPen = SelectObject(dc, pen);
    HGDIOBJ oldBrush = SelectObject(dc, fill);
    RoundRect(dc, 30, 100, 150, 150, 12, 12);
    Ellipse(dc, 170, 100, 290, 190);
    MoveToEx(dc, 30, 160, nullptr);
    LineTo(dc, 150, 195);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    DeleteObject(pen);
    DeleteObject(fill);
}

UiWindow::Options Scene() {
    UiWindow::Options o;
    o.rect = {300, 200, 620, 440};
    o.title = u"e2e pixels";
    o.paint = PaintScene;
    return o;
}

TEST(X11Pixels, EqualThoseOfTheHeadlessDisplay) {
    std::string shown = e2e::OutputPath("pixels-x11.png");
    std::string reference = e2e::OutputPath("pixels-headless.png");
    {
        UiWindow window(Scene());
        unsigned long xid = e2e::FindXWindow("e2e pixels");
        ASSERT_NE(xid, 0u);
        // The bottom-right pixel is painted last.
        ASSERT_TRUE(e2e::Photograph(xid, shown, 319, 239, 0xFEFDFC));
    }
    // The same painting on the headless display, in a process of its own.
    e2e::CommandResult r =
        e2e::RunSelf("WINLAYER_DISPLAY=headless E2E_REFERENCE='" + reference + "'",
                     "X11Pixels.DISABLED_HeadlessReference");
    ASSERT_EQ(r.status, 0) << r.out;

    e2e::Picture x11 = e2e::LoadPng(shown), headless = e2e::LoadPng(reference);
    ASSERT_EQ(x11.width, 320);
    ASSERT_EQ(x11.height, 240);
    ASSERT_EQ(headless.width, x11.width);
    ASSERT_EQ(headless.height, x11.height);
    int wrong = 0;
    for (int y = 0; y < x11.height; ++y) {
        for (int x = 0; x < x11.width; ++x) {
            if (x11.At(x, y) != headless.At(x, y) && wrong++ < 5) {
                ADD_FAILURE() << "pixel " << x << "," << y << ": x11 " << std::hex << x11.At(x, y)
                              << ", headless " << headless.At(x, y);
            }
        }
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(x11.At(0, 0), 0x010203u);
    EXPECT_EQ(x11.At(50, 30), 0xFF0000u);
    EXPECT_EQ(x11.At(20, 90), 0x4140D9u);
}

TEST(X11Pixels, ShowsTheSurfaceAgainWhenUncoveredWithoutPaintingAgain) {
    UiWindow window({});
    unsigned long xid = e2e::FindXWindow("e2e window");
    ASSERT_NE(xid, 0u);
    ASSERT_TRUE(e2e::Photograph(xid, e2e::OutputPath("uncovered-before.png"), 100, 100, 0x2080C0));
    ASSERT_TRUE(window.log.WaitFor(WM_PAINT));

    // Another client's window over part of it, then gone again.
    Display* other = XOpenDisplay(nullptr);
    ASSERT_NE(other, nullptr);
    XSetWindowAttributes attrs{};
    attrs.override_redirect = True;
    attrs.background_pixel = 0xFF0000;
    Window cover =
        XCreateWindow(other, DefaultRootWindow(other), 250, 200, 200, 100, 0, CopyFromParent,
                      InputOutput, CopyFromParent, CWOverrideRedirect | CWBackPixel, &attrs);
    XMapRaised(other, cover);
    XSync(other, False);
    // (What a window shows under another is undefined in X: look at the screen.)
    EXPECT_TRUE(e2e::Photograph(0, e2e::OutputPath("uncovered-covered.png"), 300, 250, 0xFF0000));
    XDestroyWindow(other, cover);
    XCloseDisplay(other);

    EXPECT_TRUE(e2e::Photograph(xid, e2e::OutputPath("uncovered-after.png"), 100, 100, 0x2080C0));
    e2e::Picture after = e2e::LoadPng(e2e::OutputPath("uncovered-after.png"));
    ASSERT_EQ(after.width, 320);
    EXPECT_EQ(after.At(50, 50), 0x2080C0u);
    EXPECT_EQ(after.At(249, 149), 0x2080C0u);
    // Shown from the layer's surface: the window procedure did not paint again.
    window.OnUiThread([] {});
    EXPECT_EQ(window.log.Count(WM_PAINT), 0);
}

// Run by the first test, with the headless display: saves what that display keeps.
TEST(X11Pixels, DISABLED_HeadlessReference) {
    const char* out = std::getenv("E2E_REFERENCE");
    ASSERT_NE(out, nullptr);
    UiWindow window(Scene());
    ASSERT_TRUE(window.log.WaitFor(WM_PAINT));
    ASSERT_NE(winlayer::Headless(), nullptr);
    std::optional<winlayer::Surface> shown = winlayer::Headless()->Shown(window.hwnd());
    ASSERT_TRUE(shown);
    ASSERT_TRUE(e2e::SavePng(*shown, out));
}

}  // namespace
