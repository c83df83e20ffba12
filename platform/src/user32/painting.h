// Update regions and WM_PAINT bookkeeping shared by window placement and painting.
#pragma once

#include <windows.h>

namespace winlayer {

// Adds a client rectangle (null: all) of the window to its update region, and with `children`
// the same area of every visible descendant. Lock not held.
void InvalidateWindow(HWND hwnd, const RECT* rect, bool erase, bool children);
// Adds a rectangle of a parent's client area, as a child that uncovers it does.
void InvalidateParentArea(HWND parent, const RECT& rect);
// Shows a rectangle (top-level window coordinates) of the window's surface again.
void PresentWindowArea(HWND topLevel, const RECT& area);
// Re-evaluates whether the window (and its descendants) need a WM_PAINT, after a change of
// visibility. Lock held.
struct Window;
void UpdatePaintDueLocked(Window* window);

}  // namespace winlayer
