// The installer dialog's progress bar: a child window that shows a percentage as a rounded
// light-red fill inside a white rounded track. It only paints; the dialog sets its position.
#pragma once

#include <windows.h>

#include <cstdint>

#include "ui/ix_frm.h"

inline constexpr COLORREF kProgressFillColor = 0x7373FC;
inline constexpr COLORREF kProgressTrackColor = 0xE2E2E2;

// Where the dialog puts the bar when an installation starts, in its client coordinates.
inline constexpr RECT kProgressBarRect = {34, 260, 468, 275};

class TProcess final : public TIxFrm {
  public:
    // Position 0, with the fill's pen and brush; the window comes with Create.
    TProcess();
    // Deletes the pen and the brush.
    ~TProcess();

    std::int32_t position = 0;  // percent; 1 to 100 is drawn, anything else shows the empty track
    HPEN fillPen = nullptr;
    HBRUSH fillBrush = nullptr;

    // WM_PAINT only.
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    void Paint();
};

// The right edge of the fill inside `inner` for `position` percent: width × position / 100 in
// floating point, plus the left edge, truncated toward zero.
int ProgressFillRight(const RECT& inner, std::int32_t position);
