// Update regions and painting: InvalidateRect, ValidateRect, UpdateWindow, BeginPaint/EndPaint,
// GetDC/ReleaseDC. A window with a non-empty update region that is shown is due a WM_PAINT,
// which its queue hands out when nothing else waits. EndPaint shows the painted rectangle on the
// display in one presentation.
#include "user32/painting.h"

#include "drivers/display_driver.h"
#include "user32/paint_dc.h"
#include "user32/thread_queue.h"
#include "user32/window_object.h"

#include <algorithm>
#include <map>

namespace winlayer {
namespace {

// Past this many rectangles a region becomes its bounding rectangle.
constexpr size_t kMaxRegionRects = 16;

RECT ClientBounds(const Window* window) {
    return RECT{0, 0, window->client.right - window->client.left,
                window->client.bottom - window->client.top};
}

bool Intersect(const RECT& a, const RECT& b, RECT* out) {
    RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
           std::min(a.bottom, b.bottom)};
    if (r.left >= r.right || r.top >= r.bottom)
        return false;
    *out = r;
    return true;
}

bool Inside(const RECT& inner, const RECT& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

RECT Bounds(const std::vector<RECT>& rects) {
    RECT bounds{0, 0, 0, 0};
    for (size_t i = 0; i < rects.size(); ++i) {
        const RECT& r = rects[i];
        if (i == 0) {
            bounds = r;
            continue;
        }
        bounds = RECT{std::min(bounds.left, r.left), std::min(bounds.top, r.top),
                      std::max(bounds.right, r.right), std::max(bounds.bottom, r.bottom)};
    }
    return bounds;
}

void AddToRegion(std::vector<RECT>& region, const RECT& rect) {
    for (const RECT& r : region) {
        if (Inside(rect, r))
            return;
    }
    region.erase(std::remove_if(region.begin(), region.end(),
                                [&](const RECT& r) { return Inside(r, rect); }),
                 region.end());
    region.push_back(rect);
    if (region.size() > kMaxRegionRects)
        region = {Bounds(region)};
}

// The parts of each rectangle outside `cut`.
std::vector<RECT> Subtract(const std::vector<RECT>& region, const RECT& cut) {
    std::vector<RECT> result;
    for (const RECT& r : region) {
        RECT common;
        if (!Intersect(r, cut, &common)) {
            result.push_back(r);
            continue;
        }
        if (r.top < common.top)
            result.push_back(RECT{r.left, r.top, r.right, common.top});
        if (common.bottom < r.bottom)
            result.push_back(RECT{r.left, common.bottom, r.right, r.bottom});
        if (r.left < common.left)
            result.push_back(RECT{r.left, common.top, common.left, common.bottom});
        if (common.right < r.right)
            result.push_back(RECT{common.right, common.top, r.right, common.bottom});
    }
    return result;
}

void SetDueLocked(Window* window) {
    window->queue->SetPaintDue(window->hwnd, IsShownLocked(window) && !window->update.empty());
}

// Lock held. `rect` in the window's client coordinates, null for all of it.
void InvalidateLocked(Window* window, const RECT* rect, bool erase, bool children) {
    RECT area = ClientBounds(window);
    if (rect != nullptr && !Intersect(*rect, area, &area))
        return;
    if (area.left >= area.right || area.top >= area.bottom)
        return;
    AddToRegion(window->update, area);
    if (erase)
        window->eraseDue = true;
    SetDueLocked(window);
    if (!children)
        return;
    for (HWND childHandle : window->children) {
        Window* child = FindWindowLocked(childHandle);
        if (child == nullptr || !child->HasVisibleStyle())
            continue;
        RECT childArea;
        if (!Intersect(area, child->client, &childArea))
            continue;
        OffsetRect(&childArea, -child->client.left, -child->client.top);
        InvalidateLocked(child, &childArea, erase, true);
    }
}

// What a DC of the window may touch: the rectangles (client coordinates) clipped to the client
// area, less the visible children with WS_CLIPCHILDREN. Lock held.
std::vector<RECT> ClipOf(const Window* window, std::vector<RECT> region) {
    RECT bounds = ClientBounds(window);
    std::vector<RECT> clip;
    for (const RECT& r : region) {
        RECT inside;
        if (Intersect(r, bounds, &inside))
            clip.push_back(inside);
    }
    if (window->style & WS_CLIPCHILDREN) {
        for (HWND childHandle : window->children) {
            Window* child = FindWindowLocked(childHandle);
            if (child != nullptr && child->HasVisibleStyle())
                clip = Subtract(clip, child->rect);
        }
    }
    return clip;
}

// The rectangles moved from client into surface coordinates.
std::vector<RECT> ToSurface(std::vector<RECT> rects, POINT origin) {
    for (RECT& r : rects)
        OffsetRect(&r, origin.x, origin.y);
    return rects;
}

// DCs handed out by BeginPaint and GetDC: the window, its top-level and the dirty rectangle
// (top-level window coordinates) shown when the DC is given back.
struct OpenDC {
    HWND hwnd;
    HWND topLevel;
    RECT dirty;
};

std::map<HDC, OpenDC>& OpenDCs() {
    static std::map<HDC, OpenDC> dcs;  // guarded by WindowLock()
    return dcs;
}

// A DC that draws into the window's part of its top-level window's surface through `clip`
// (client coordinates) and shows `dirty` (client coordinates) when given back; null without a
// surface. Lock held.
HDC OpenDCLocked(Window* window, const std::vector<RECT>& clip, RECT dirty) {
    Window* top = TopLevelLocked(window);
    if (top == nullptr || !top->surface)
        return nullptr;
    POINT origin = ClientOriginInSurface(window);
    HDC dc = MakeWindowDC(top->surface.get(), origin, ToSurface(clip, origin));
    if (dc != nullptr) {
        OffsetRect(&dirty, origin.x, origin.y);
        OpenDCs()[dc] = OpenDC{window->hwnd, top->hwnd, dirty};
    }
    return dc;
}

void Present(HWND topLevel, const RECT& dirty) {
    std::shared_ptr<Window> top = FindWindowObject(topLevel);
    if (!top || dirty.left >= dirty.right || dirty.top >= dirty.bottom)
        return;
    {
        std::lock_guard lock(WindowLock());
        if (!IsShownLocked(top.get()))
            return;
    }
    // Only the owning thread replaces a surface, and this is it.
    Display().Present(topLevel, *top->surface, dirty);
}

}  // namespace

void UpdatePaintDueLocked(Window* window) {
    SetDueLocked(window);
    for (HWND child : window->children) {
        if (Window* c = FindWindowLocked(child))
            UpdatePaintDueLocked(c);
    }
}

void InvalidateWindow(HWND hwnd, const RECT* rect, bool erase, bool children) {
    std::lock_guard lock(WindowLock());
    if (Window* window = FindWindowLocked(hwnd))
        InvalidateLocked(window, rect, erase, children);
}

void PresentWindowArea(HWND topLevel, const RECT& area) {
    Present(topLevel, area);
}

void InvalidateParentArea(HWND parent, const RECT& rect) {
    InvalidateWindow(parent, &rect, true, true);
}

}  // namespace winlayer

using namespace winlayer;

BOOL WINAPI InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase) {
    std::lock_guard lock(WindowLock());
    Window* window = WindowOrErrorLocked(hwnd);
    if (window == nullptr)
        return FALSE;
    // Children are repainted too unless the window clips them out.
    InvalidateLocked(window, rect, erase != FALSE, !(window->style & WS_CLIPCHILDREN));
    return TRUE;
}

BOOL WINAPI ValidateRect(HWND hwnd, const RECT* rect) {
    std::lock_guard lock(WindowLock());
    Window* window = WindowOrErrorLocked(hwnd);
    if (window == nullptr)
        return FALSE;
    if (rect == nullptr)
        window->update.clear();
    else
        window->update = Subtract(window->update, *rect);
    if (window->update.empty())
        window->eraseDue = false;
    SetDueLocked(window);
    return TRUE;
}

BOOL WINAPI GetUpdateRect(HWND hwnd, LPRECT rect, BOOL) {
    std::lock_guard lock(WindowLock());
    Window* window = WindowOrErrorLocked(hwnd);
    if (window == nullptr)
        return FALSE;
    RECT bounds = Bounds(window->update);
    if (rect != nullptr)
        *rect = bounds;
    return window->update.empty() ? FALSE : TRUE;
}

BOOL WINAPI UpdateWindow(HWND hwnd) {
    std::vector<HWND> due;
    {
        std::lock_guard lock(WindowLock());
        Window* window = WindowOrErrorLocked(hwnd);
        if (window == nullptr)
            return FALSE;
        std::vector<Window*> pending{window};
        while (!pending.empty()) {
            Window* next = pending.back();
            pending.pop_back();
            if (!IsShownLocked(next))
                continue;
            if (!next->update.empty())
                due.push_back(next->hwnd);
            for (HWND child : next->children) {
                if (Window* c = FindWindowLocked(child))
                    pending.push_back(c);
            }
        }
    }
    for (HWND window : due)
        CallWindowProcedure(window, WM_PAINT, 0, 0);
    return TRUE;
}

HDC WINAPI BeginPaint(HWND hwnd, LPPAINTSTRUCT paint) {
    if (paint == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    *paint = PAINTSTRUCT{};
    bool erase = false;
    HDC dc = nullptr;
    {
        std::lock_guard lock(WindowLock());
        Window* window = WindowOrErrorLocked(hwnd);
        if (window == nullptr)
            return nullptr;
        std::vector<RECT> clip = ClipOf(window, window->update);
        paint->rcPaint = Bounds(clip);
        erase = window->eraseDue;
        window->update.clear();
        window->eraseDue = false;
        window->painting = true;
        SetDueLocked(window);
        dc = OpenDCLocked(window, clip, paint->rcPaint);
    }
    paint->hdc = dc;
    // fErase tells the program that the background still needs erasing.
    if (erase)
        paint->fErase = SendMessageW(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) ? 0 : 1;
    return dc;
}

BOOL WINAPI EndPaint(HWND hwnd, const PAINTSTRUCT* paint) {
    if (paint == nullptr)
        return FALSE;
    HWND topLevel = nullptr;
    RECT dirty = paint->rcPaint;
    {
        std::lock_guard lock(WindowLock());
        Window* window = FindWindowLocked(hwnd);
        if (window == nullptr)
            return TRUE;
        window->painting = false;
        auto it = OpenDCs().find(paint->hdc);
        if (it != OpenDCs().end()) {
            topLevel = it->second.topLevel;
            dirty = it->second.dirty;
            OpenDCs().erase(it);
        } else if (Window* top = TopLevelLocked(window)) {
            topLevel = top->hwnd;
            POINT origin = ClientOriginInSurface(window);
            OffsetRect(&dirty, origin.x, origin.y);
        }
    }
    if (paint->hdc != nullptr)
        FreeWindowDC(paint->hdc);
    Present(topLevel, dirty);
    return TRUE;
}

HDC WINAPI GetDC(HWND hwnd) {
    std::lock_guard lock(WindowLock());
    Window* window = WindowOrErrorLocked(hwnd);
    if (window == nullptr)
        return nullptr;
    return OpenDCLocked(window, ClipOf(window, {ClientBounds(window)}), ClientBounds(window));
}

int WINAPI ReleaseDC(HWND, HDC dc) {
    OpenDC open{};
    {
        std::lock_guard lock(WindowLock());
        auto it = OpenDCs().find(dc);
        if (it == OpenDCs().end())
            return 0;
        open = it->second;
        OpenDCs().erase(it);
    }
    FreeWindowDC(dc);
    Present(open.topLevel, open.dirty);
    return 1;
}
