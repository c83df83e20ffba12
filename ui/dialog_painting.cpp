// The installer dialog's picture over the modal window's frame: the state's bitmap, the close
// cross, the broker code, and the state's own content (button, or step text, percentage and
// banner).
#include <cstdio>

#include "core/settings.h"
#include "ui/brivostel_dlg.h"
#include "ui/localized_texts.h"
#include "ui/modal_wnd.h"
#include "ui/progress_bar.h"

namespace {

constexpr COLORREF kBlack = 0x000000;
constexpr COLORREF kButtonPenColor = 0x4140D9;
constexpr COLORREF kButtonColor = 0x1015A5;
constexpr COLORREF kButtonHoverColor = 0x070D7D;
constexpr int kButtonCorner = 5;
constexpr int kInstallLabel = 0;
constexpr int kOpenLabel = 7;
constexpr int kPleaseWait = 10;
constexpr int kWideBufferSize = 1024;
constexpr int kPercentBufferSize = 260;

// Copies bitmap resource `id` over the client area and deletes it again.
void DrawBackground(HDC dc, WORD id, int width, int height) {
    HBITMAP picture = LoadBitmapW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id));
    if (picture == nullptr)
        return;
    DrawPicture(dc, picture, width, height);
    DeleteObject(picture);
}

}  // namespace

void TBrivostelDlg::PaintContent(HDC dc, const RECT& client) {
    const bool installPicture = state == InstallState::Installing || state == InstallState::Failed;
    DrawBackground(dc, installPicture ? kInstallingBitmap : kIdleBitmap, client.right - client.left,
                   client.bottom - client.top);

    if (state != InstallState::Installing) {
        const int third = captionHeight / 3;
        const int twoThirds = 2 * captionHeight / 3;
        PaintCloseCross(
            dc, {client.right - twoThirds, third, client.right - twoThirds + third, 2 * third},
            closeHover ? kGrey : kLightGrey);
    }

    if (state == InstallState::Idle || state == InstallState::Finished) {
        WCHAR code[kWideBufferSize] = {};
        // A code too long for the buffer is left out rather than cut.
        if (MultiByteToWideChar(kNarrowCodePage, 0, GetInstallerSettings().brokerCode.c_str(), -1,
                                code, kWideBufferSize) == 0)
            code[0] = 0;
        SelectObject(dc, BannerFont);
        SetTextColor(dc, kLightGrey);
        DrawTextW(dc, code, -1, &codeRect, DT_NOPREFIX | DT_SINGLELINE | DT_BOTTOM | DT_CENTER);
    }

    DrawStateContent(dc);
}

void TBrivostelDlg::DrawStateContent(HDC dc) {
    if (state == InstallState::Idle || state == InstallState::Finished) {
        DrawButton(dc);
        return;
    }
    SetTextColor(dc, kBlack);
    SelectObject(dc, CaptionFont);
    if (state == InstallState::Failed) {
        // Without DT_SINGLELINE, DT_BOTTOM has no effect: the text sits at the top of the
        // rectangle, right-aligned, as Windows draws it.
        DrawTextW(dc, statusText.c_str(), -1, &statusRect, DT_BOTTOM | DT_RIGHT);
        return;
    }
    char percent[kPercentBufferSize] = {};
    std::snprintf(percent, sizeof percent, "%d%%",
                  progressBar != nullptr ? progressBar->position : 0);
    WCHAR percentText[kPercentBufferSize] = {};
    for (int i = 0; percent[i] != 0; ++i)
        percentText[i] = static_cast<WCHAR>(percent[i]);
    DrawTextW(dc, percentText, -1, &statusRect, DT_SINGLELINE | DT_VCENTER | DT_RIGHT);
    DrawTextW(dc, statusText.c_str(), -1, &statusRect, DT_SINGLELINE | DT_VCENTER);
    SetTextColor(dc, kWhite);
    SelectObject(dc, BannerFont);
    DrawTextW(dc, UiText(kPleaseWait), -1, &waitRect, DT_SINGLELINE | DT_VCENTER);
}

void TBrivostelDlg::DrawButton(HDC dc) {
    HPEN pen = CreatePen(PS_SOLID, 1, kButtonPenColor);
    HBRUSH brush = CreateSolidBrush(buttonHover ? kButtonHoverColor : kButtonColor);
    HGDIOBJ previousPen = SelectObject(dc, pen);
    HGDIOBJ previousBrush = SelectObject(dc, brush);
    RoundRect(dc, buttonRect.left, buttonRect.top, buttonRect.right, buttonRect.bottom,
              kButtonCorner, kButtonCorner);
    SelectObject(dc, previousPen);
    SelectObject(dc, previousBrush);

    // The label sits one pixel high and sinks to the middle under the pointer.
    RECT label = buttonRect;
    if (!buttonHover)
        OffsetRect(&label, 0, -1);
    SelectObject(dc, ButtonFont);
    DrawTextW(dc, UiText(state == InstallState::Idle ? kInstallLabel : kOpenLabel), -1, &label,
              DT_SINGLELINE | DT_VCENTER | DT_CENTER);
    DeleteObject(pen);
    DeleteObject(brush);
}
