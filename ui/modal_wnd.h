// A top-level, borderless, top-most window drawn entirely by the program, with a caption bar and
// a close cross of its own, dragged by any free point of its client area, and run in a modal
// message loop of its own.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "ui/ix_frm.h"

// The window class of every modal window.
inline constexpr WCHAR kModalWindowClass[] = TEXT("TModalWnd");

// The colours of the modal windows: the client area, its border, the caption bar, and the greys
// of the cross and of light texts.
inline constexpr COLORREF kWhite = 0xFFFFFF;
inline constexpr COLORREF kBorderColor = 0x464646;
inline constexpr COLORREF kCaptionColor = 0x2D42DA;
inline constexpr COLORREF kLightGrey = 0xE7E7E7;
inline constexpr COLORREF kGrey = 0x969696;

class TModalWnd : public TIxFrm {
  public:
    std::basic_string<WCHAR> caption;    // drawn centred in the caption bar
    HWND owner = nullptr;                // parent given to the window's creation
    HBITMAP backgroundBitmap = nullptr;  // drawn over the client area; owned, deleted at the end
    RECT captionRect{};                  // the client rectangle with bottom 30, set on WM_SIZE
    RECT closeRect{};                    // hit area of the cross, set when the cross is painted
    bool closeHover = false;
    bool running = false;             // the modal loop runs while set
    std::int32_t captionHeight = 25;  // what a derived window lays its cross out on

    // Default handling: WM_SIZE, WM_PAINT, WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP and
    // WM_MOUSELEAVE answer 0; everything else kNotHandled. WM_DESTROY also ends the modal loop,
    // whatever destroyed the window.
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Once the window exists, hidden and 0 × 0.
    virtual void OnInit() = 0;
    // Gives the shown window its size and place.
    virtual void PlaceOnScreen() = 0;
    // Ends the modal loop and destroys the window.
    virtual void CloseModal();

    // Creates the window, initialises, shows and places it, and runs the modal loop until the
    // window closes or WM_QUIT arrives. Messages below WM_USER other than WM_PAINT are dropped
    // unless they are for this window or a descendant within three parent steps.
    void RunModal();
    // Turns a WM_LBUTTONDOWN into a drag of the window: only a press of the left button alone
    // (wParam exactly MK_LBUTTON) outside the cross's hit area.
    void StartDrag(WPARAM wParam, LPARAM lParam);

  protected:
    TModalWnd() = default;
    ~TModalWnd();

    // What WM_PAINT draws over the frame (the white client area, its border and the caption
    // bar) into the off-screen picture, with a transparent text background. Here: the
    // background bitmap, the close cross and the caption.
    virtual void PaintContent(HDC dc, const RECT& client);
    // Draws the close cross in `cross` with `color` and makes it, one pixel larger on each side,
    // the cross's hit area.
    void PaintCloseCross(HDC dc, const RECT& cross, COLORREF color);

    // The cursor position in client coordinates (not the coordinates a mouse message carries).
    POINT PointerPosition() const;
    bool PointerIn(const RECT& rect) const;
    // Whether a message for `window` may reach it while the loop runs.
    bool IsModalTarget(HWND window) const;

  private:
    // WM_PAINT: the frame, then PaintContent, shown in one presentation.
    void Paint();
};

// Copies `picture` to (0, 0) of `dc`, width × height.
void DrawPicture(HDC dc, HBITMAP picture, int width, int height);

// The cross of the close button in `rect`, with a one-pixel pen of `color`: one line from
// (left, top) to (right + 1, bottom + 1), one from (left, bottom) to (right + 1, top - 1).
void DrawCloseCross(HDC dc, const RECT& rect, COLORREF color);
