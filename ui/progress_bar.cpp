#include "ui/progress_bar.h"

#include "core/settings.h"
#include "ui/mem_dc.h"

namespace {

constexpr int kTrackCorner = 12;
constexpr int kFillCorner = 5;
constexpr int kTrackInset = 3;
constexpr int kSquareEndWidth = 4;

}  // namespace

int ProgressFillRight(const RECT& inner, std::int32_t position) {
    return static_cast<int>(static_cast<double>(inner.right - inner.left) * position / 100.0 +
                            inner.left);
}

TProcess::TProcess()
    : fillPen(CreatePen(PS_SOLID, 1, kProgressFillColor)),
      fillBrush(CreateSolidBrush(kProgressFillColor)) {}

TProcess::~TProcess() {
    DeleteObject(fillPen);
    DeleteObject(fillBrush);
}

LRESULT TProcess::HandleMessage(UINT message, WPARAM, LPARAM) {
    if (message != WM_PAINT)
        return kNotHandled;
    Paint();
    return 0;
}

void TProcess::Paint() {
    TMemDC dc(hwnd);
    RECT client{};
    GetClientRect(hwnd, &client);
    FillRect(dc, &client, WhiteBrush);
    HGDIOBJ previousBrush = SelectObject(dc, WhiteBrush);

    HPEN trackPen = CreatePen(PS_SOLID, 1, kProgressTrackColor);
    HGDIOBJ previousPen = SelectObject(dc, trackPen);
    RoundRect(dc, client.left, client.top, client.right, client.bottom, kTrackCorner, kTrackCorner);

    if (position >= 1 && position <= 100) {
        RECT inner = client;
        InflateRect(&inner, -kTrackInset, -kTrackInset);
        const int fillRight = ProgressFillRight(inner, position);
        SelectObject(dc, fillPen);
        SelectObject(dc, fillBrush);
        RoundRect(dc, inner.left, inner.top, fillRight, inner.bottom, kFillCorner, kFillCorner);
        // The moving end of the fill is square; only a full bar is rounded at both ends.
        if (fillRight < inner.right) {
            RECT end = {fillRight - kSquareEndWidth, inner.top, fillRight, inner.bottom};
            FillRect(dc, &end, fillBrush);
        }
    }

    SelectObject(dc, previousPen);
    SelectObject(dc, previousBrush);
    DeleteObject(trackPen);
}
