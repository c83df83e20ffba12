#include "ui/modal_wnd.h"

#include "core/settings.h"
#include "ui/mem_dc.h"

namespace {

constexpr int kCaptionBarHeight = 30;
constexpr int kModalParentSteps = 3;

}  // namespace

void DrawPicture(HDC dc, HBITMAP picture, int width, int height) {
    HDC source = CreateCompatibleDC(dc);
    HGDIOBJ previous = SelectObject(source, picture);
    BitBlt(dc, 0, 0, width, height, source, 0, 0, SRCCOPY);
    SelectObject(source, previous);
    DeleteDC(source);
}

void DrawCloseCross(HDC dc, const RECT& rect, COLORREF color) {
    HPEN pen = CreatePen(PS_SOLID, 1, color);
    HGDIOBJ previous = SelectObject(dc, pen);
    MoveToEx(dc, rect.left, rect.top, nullptr);
    LineTo(dc, rect.right + 1, rect.bottom + 1);
    MoveToEx(dc, rect.left, rect.bottom, nullptr);
    LineTo(dc, rect.right + 1, rect.top - 1);
    SelectObject(dc, previous);
    DeleteObject(pen);
}

TModalWnd::~TModalWnd() {
    if (backgroundBitmap != nullptr)
        DeleteObject(backgroundBitmap);
}

POINT TModalWnd::PointerPosition() const {
    POINT point{};
    GetCursorPos(&point);
    ScreenToClient(hwnd, &point);
    return point;
}

bool TModalWnd::PointerIn(const RECT& rect) const {
    return PtInRect(&rect, PointerPosition()) != FALSE;
}

LRESULT TModalWnd::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SIZE:
            GetClientRect(hwnd, &captionRect);
            captionRect.bottom = kCaptionBarHeight;
            return 0;
        case WM_PAINT:
            Paint();
            return 0;
        case WM_MOUSEMOVE: {
            TRACKMOUSEEVENT track{sizeof(TRACKMOUSEEVENT), TME_LEAVE, hwnd, 0};
            TrackMouseEvent(&track);
            closeHover = PointerIn(closeRect);
            InvalidateRect(hwnd, nullptr, FALSE);
            return 0;
        }
        case WM_LBUTTONDOWN:
            StartDrag(wParam, lParam);
            return 0;
        case WM_LBUTTONUP:
            if (PointerIn(closeRect))
                CloseModal();
            return 0;
        case WM_MOUSELEAVE:
            closeHover = false;
            InvalidateRect(hwnd, nullptr, FALSE);
            return 0;
        case WM_DESTROY:
            // However the window goes (CloseModal, or WM_CLOSE from SC_CLOSE with another
            // lParam), the modal loop must not wait on for a window that no longer exists.
            running = false;
            return kNotHandled;
        default:
            return kNotHandled;
    }
}

void TModalWnd::Paint() {
    TMemDC dc(hwnd);
    SetBkMode(dc, TRANSPARENT);
    RECT client{};
    GetClientRect(hwnd, &client);

    HBRUSH white = CreateSolidBrush(kWhite);
    FillRect(dc, &client, white);
    DeleteObject(white);
    HBRUSH border = CreateSolidBrush(kBorderColor);
    FrameRect(dc, &client, border);
    DeleteObject(border);
    HBRUSH captionBrush = CreateSolidBrush(kCaptionColor);
    FillRect(dc, &captionRect, captionBrush);
    DeleteObject(captionBrush);

    PaintContent(dc, client);
}

void TModalWnd::PaintContent(HDC dc, const RECT& client) {
    if (backgroundBitmap != nullptr)
        DrawPicture(dc, backgroundBitmap, client.right - client.left, client.bottom - client.top);

    PaintCloseCross(dc, {client.right - 20, 10, client.right - 10, 20},
                    closeHover ? kLightGrey : kGrey);

    SelectObject(dc, CaptionFont);
    SetTextColor(dc, kLightGrey);
    DrawTextW(dc, caption.c_str(), -1, &captionRect,
              DT_NOPREFIX | DT_SINGLELINE | DT_VCENTER | DT_CENTER);
}

void TModalWnd::PaintCloseCross(HDC dc, const RECT& cross, COLORREF color) {
    closeRect = cross;
    DrawCloseCross(dc, closeRect, color);
    InflateRect(&closeRect, 1, 1);
}

void TModalWnd::CloseModal() {
    running = false;
    DestroyWindow(hwnd);
}

void TModalWnd::StartDrag(WPARAM wParam, LPARAM lParam) {
    if (wParam == MK_LBUTTON && !PointerIn(closeRect))
        PostMessageW(hwnd, WM_NCLBUTTONDOWN, HTCAPTION, lParam);
}

bool TModalWnd::IsModalTarget(HWND window) const {
    if (window == nullptr)
        return false;
    if (window == hwnd)
        return true;
    HWND ancestor = window;
    for (int step = 0; step < kModalParentSteps; ++step) {
        ancestor = GetParent(ancestor);
        if (ancestor == nullptr)
            return false;
        if (ancestor == hwnd)
            return true;
    }
    return false;
}

void TModalWnd::RunModal() {
    Create(kModalWindowClass, owner, WS_POPUP | WS_CLIPCHILDREN, WS_EX_TOPMOST);
    SetClassLongPtrW(
        hwnd, GCLP_HBRBACKGROUND,
        owner != nullptr ? static_cast<LONG_PTR>(GetClassLongPtrW(owner, GCLP_HBRBACKGROUND)) : 0);
    OnInit();
    running = true;
    ShowWindow(hwnd, SW_SHOWNA);
    PlaceOnScreen();

    MSG msg{};
    while (running) {
        // 0 is WM_QUIT; -1 (a failed wait) would never change, so it ends the loop too.
        if (GetMessageW(&msg, nullptr, 0, 0) <= 0)
            break;
        if (msg.message == WM_SYSCOMMAND && msg.wParam == SC_CLOSE && msg.lParam == 0) {
            CloseModal();
            continue;
        }
        if (msg.message >= WM_USER || msg.message == WM_PAINT || IsModalTarget(msg.hwnd)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}
