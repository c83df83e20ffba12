// The headless display driver: windows in memory, a configurable monitor layout, a pointer and
// buttons driven by the test interface.
#include "drivers/headless/headless_driver.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <functional>
#include <cstdlib>
#include <string>

namespace winlayer {
namespace {

bool Contains(const RECT& r, POINT p) {
    return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}

std::vector<MonitorDesc> DefaultMonitors() {
    MonitorDesc primary;
    primary.rect = RECT{0, 0, 1920, 1080};
    primary.primary = true;
    return {primary};
}

bool ParseInt(std::string_view& text, long* value) {
    const char* begin = text.data();
    const char* end = begin + text.size();
    bool negative = false;
    if (begin != end && (*begin == '+' || *begin == '-')) {
        negative = *begin == '-';
        ++begin;
    }
    long parsed = 0;
    auto [next, error] = std::from_chars(begin, end, parsed);
    if (error != std::errc() || next == begin)
        return false;
    *value = negative ? -parsed : parsed;
    text.remove_prefix(static_cast<size_t>(next - text.data()));
    return true;
}

// Removes the calling thread's event queue when the thread ends.
struct ThreadFdOwner {
    std::function<void()> release;
    ~ThreadFdOwner() {
        if (release)
            release();
    }
};

thread_local ThreadFdOwner threadFdOwner;

}  // namespace

HeadlessDriver::HeadlessDriver() {
    monitors_ = DefaultMonitors();
    if (const char* layout = std::getenv("WINLAYER_MONITORS")) {
        if (auto parsed = ParseMonitors(layout))
            monitors_ = std::move(*parsed);
    }
}

HeadlessDriver::~HeadlessDriver() {
    for (auto& [thread, events] : threads_) {
        if (events.fd >= 0)
            close(events.fd);
    }
}

std::optional<std::vector<MonitorDesc>> HeadlessDriver::ParseMonitors(std::string_view text) {
    std::vector<MonitorDesc> monitors;
    bool primaryGiven = false;
    while (!text.empty()) {
        size_t comma = text.find(',');
        std::string_view item = text.substr(0, comma);
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
        MonitorDesc monitor;
        while (!item.empty() && (item.front() == '!' || item.front() == '*')) {
            if (item.front() == '!')
                monitor.attached = false;
            else
                monitor.primary = primaryGiven = true;
            item.remove_prefix(1);
        }
        long width = 0, height = 0, x = 0, y = 0, dpi = 96;
        if (!ParseInt(item, &width) || item.empty() || item.front() != 'x')
            return std::nullopt;
        item.remove_prefix(1);
        if (!ParseInt(item, &height) || item.empty() ||
            (item.front() != '+' && item.front() != '-'))
            return std::nullopt;
        if (!ParseInt(item, &x) || item.empty() || (item.front() != '+' && item.front() != '-'))
            return std::nullopt;
        if (!ParseInt(item, &y))
            return std::nullopt;
        if (!item.empty()) {
            if (item.front() != '@')
                return std::nullopt;
            item.remove_prefix(1);
            if (!ParseInt(item, &dpi) || !item.empty() || dpi <= 0)
                return std::nullopt;
        }
        if (width <= 0 || height <= 0)
            return std::nullopt;
        monitor.rect = RECT{static_cast<LONG>(x), static_cast<LONG>(y),
                            static_cast<LONG>(x + width), static_cast<LONG>(y + height)};
        monitor.dpi = static_cast<int>(dpi);
        monitors.push_back(monitor);
    }
    if (monitors.empty())
        return std::nullopt;
    if (!primaryGiven)
        monitors.front().primary = true;
    return monitors;
}

std::vector<MonitorDesc> HeadlessDriver::Monitors() {
    std::lock_guard lock(mutex_);
    return monitors_;
}

POINT HeadlessDriver::CursorPos() {
    std::lock_guard lock(mutex_);
    return cursor_;
}

UINT HeadlessDriver::ButtonsDown() {
    std::lock_guard lock(mutex_);
    return buttons_ | keys_;
}

bool HeadlessDriver::CreateTopLevel(const TopLevelDesc& desc) {
    std::lock_guard lock(mutex_);
    TopLevel& window = windows_[desc.hwnd];
    window.rect = desc.rect;
    window.topmost = (desc.exStyle & WS_EX_TOPMOST) != 0;
    window.thread = gettid();
    window.title = desc.title;
    window.shown = Surface(desc.rect.right - desc.rect.left, desc.rect.bottom - desc.rect.top);
    return true;
}

void HeadlessDriver::DestroyTopLevel(HWND hwnd) {
    std::lock_guard lock(mutex_);
    windows_.erase(hwnd);
    order_.erase(std::remove(order_.begin(), order_.end(), hwnd), order_.end());
    if (capture_ == hwnd)
        capture_ = nullptr;
    if (under_ == hwnd)
        under_ = nullptr;
}

void HeadlessDriver::SetVisible(HWND hwnd, bool show, bool) {
    std::lock_guard lock(mutex_);
    auto it = windows_.find(hwnd);
    if (it == windows_.end())
        return;
    it->second.visible = show;
    order_.erase(std::remove(order_.begin(), order_.end(), hwnd), order_.end());
    if (show) {
        // In front of its kind: topmost windows stay above the others.
        auto at = order_.begin();
        if (!it->second.topmost) {
            while (at != order_.end() && windows_[*at].topmost)
                ++at;
        }
        order_.insert(at, hwnd);
    }
    // The pointer may now be over another window; only a move of the pointer reports motion.
    HWND under = WindowAtLocked(cursor_);
    if (under != under_) {
        if (under_ != nullptr)
            QueueLocked(under_, Event{Event::Leave, under_, 0, cursor_, 0});
        under_ = under;
    }
}

void HeadlessDriver::SetRect(HWND hwnd, const RECT& rect) {
    std::lock_guard lock(mutex_);
    auto it = windows_.find(hwnd);
    if (it == windows_.end())
        return;
    TopLevel& window = it->second;
    window.rect = rect;
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    if (width != window.shown.width || height != window.shown.height) {
        Surface resized(width, height);
        for (int y = 0; y < std::min(height, window.shown.height); ++y)
            std::copy_n(window.shown.Row(y), std::min(width, window.shown.width), resized.Row(y));
        window.shown = std::move(resized);
    }
}

void HeadlessDriver::SetTitle(HWND hwnd, std::u16string_view title) {
    std::lock_guard lock(mutex_);
    auto it = windows_.find(hwnd);
    if (it != windows_.end())
        it->second.title = title;
}

void HeadlessDriver::SetIcons(HWND hwnd, const IconImage& big, const IconImage& small) {
    std::lock_guard lock(mutex_);
    auto it = windows_.find(hwnd);
    if (it != windows_.end()) {
        it->second.bigIcon = big;
        it->second.smallIcon = small;
    }
}

void HeadlessDriver::Present(HWND hwnd, const Surface& surface, const RECT& dirty) {
    std::lock_guard lock(mutex_);
    auto it = windows_.find(hwnd);
    if (it == windows_.end())
        return;
    TopLevel& window = it->second;
    if (window.shown.width != surface.width || window.shown.height != surface.height)
        window.shown = Surface(surface.width, surface.height);
    int left = std::max<int>(dirty.left, 0), top = std::max<int>(dirty.top, 0);
    int right = std::min<int>(dirty.right, surface.width);
    int bottom = std::min<int>(dirty.bottom, surface.height);
    for (int y = top; y < bottom; ++y)
        std::copy(surface.Row(y) + left, surface.Row(y) + right, window.shown.Row(y) + left);
    window.presents++;
}

void HeadlessDriver::SetCapture(HWND hwnd) {
    std::lock_guard lock(mutex_);
    capture_ = hwnd;
}

bool HeadlessDriver::MovePointer(POINT screen) {
    std::lock_guard lock(mutex_);
    cursor_ = screen;
    PointerChangedLocked();
    return true;
}

int HeadlessDriver::ThreadFd() {
    pid_t thread = gettid();
    std::lock_guard lock(mutex_);
    ThreadEvents& events = threads_[thread];
    if (events.fd < 0) {
        events.fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        threadFdOwner.release = [this, thread] {
            std::lock_guard releaseLock(mutex_);
            auto it = threads_.find(thread);
            if (it == threads_.end())
                return;
            if (it->second.fd >= 0)
                close(it->second.fd);
            threads_.erase(it);
        };
    }
    return events.fd;
}

void HeadlessDriver::ProcessEvents(EventSink& sink) {
    std::deque<Event> events;
    {
        std::lock_guard lock(mutex_);
        auto it = threads_.find(gettid());
        if (it == threads_.end())
            return;
        events.swap(it->second.events);
        uint64_t count = 0;
        while (read(it->second.fd, &count, sizeof count) == static_cast<ssize_t>(sizeof count)) {
        }
    }
    for (const Event& event : events) {
        switch (event.kind) {
            case Event::Motion:
                sink.PointerMoved(event.window, event.screen, event.keys);
                break;
            case Event::Button:
                sink.ButtonChanged(event.window, event.message, event.screen, event.keys);
                break;
            case Event::Leave:
                sink.PointerLeft(event.window);
                break;
            case Event::Close:
                sink.CloseRequested(event.window);
                break;
        }
    }
}

HWND HeadlessDriver::WindowAtLocked(POINT screen) {
    for (HWND hwnd : order_) {
        const TopLevel& window = windows_[hwnd];
        if (window.visible && Contains(window.rect, screen))
            return hwnd;
    }
    return nullptr;
}

void HeadlessDriver::QueueLocked(HWND hwnd, const Event& event) {
    auto it = windows_.find(hwnd);
    if (it == windows_.end())
        return;
    ThreadEvents& events = threads_[it->second.thread];
    if (events.fd < 0)
        events.fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    events.events.push_back(event);
    uint64_t one = 1;
    [[maybe_unused]] ssize_t written = write(events.fd, &one, sizeof one);
}

void HeadlessDriver::RequestClose(HWND window) {
    std::lock_guard lock(mutex_);
    QueueLocked(window, Event{Event::Close, window, 0, cursor_, 0});
}

void HeadlessDriver::PointerChangedLocked() {
    HWND under = WindowAtLocked(cursor_);
    if (under != under_) {
        if (under_ != nullptr)
            QueueLocked(under_, Event{Event::Leave, under_, 0, cursor_, 0});
        under_ = under;
    }
    HWND target = capture_ != nullptr ? capture_ : under;
    if (target != nullptr)
        QueueLocked(target, Event{Event::Motion, target, WM_MOUSEMOVE, cursor_, buttons_ | keys_});
}

void HeadlessDriver::ButtonLocked(UINT button, bool down) {
    UINT message = 0;
    switch (button) {
        case MK_LBUTTON:
            message = down ? WM_LBUTTONDOWN : WM_LBUTTONUP;
            break;
        case MK_RBUTTON:
            message = down ? WM_RBUTTONDOWN : WM_RBUTTONUP;
            break;
        case MK_MBUTTON:
            message = down ? WM_MBUTTONDOWN : WM_MBUTTONUP;
            break;
        default:
            return;
    }
    if (down == ((buttons_ & button) != 0))
        return;
    buttons_ = down ? buttons_ | button : buttons_ & ~button;
    HWND target = capture_ != nullptr ? capture_ : WindowAtLocked(cursor_);
    if (target != nullptr)
        QueueLocked(target, Event{Event::Button, target, message, cursor_, buttons_ | keys_});
}

void HeadlessDriver::SetMonitors(std::vector<MonitorDesc> monitors) {
    std::lock_guard lock(mutex_);
    monitors_ = monitors.empty() ? DefaultMonitors() : std::move(monitors);
}

void HeadlessDriver::PressButton(UINT buttons) {
    std::lock_guard lock(mutex_);
    for (UINT button : {MK_LBUTTON, MK_RBUTTON, MK_MBUTTON}) {
        if (buttons & button)
            ButtonLocked(button, true);
    }
}

void HeadlessDriver::ReleaseButton(UINT buttons) {
    std::lock_guard lock(mutex_);
    for (UINT button : {MK_LBUTTON, MK_RBUTTON, MK_MBUTTON}) {
        if (buttons & button)
            ButtonLocked(button, false);
    }
}

void HeadlessDriver::SetKeys(UINT keys) {
    std::lock_guard lock(mutex_);
    keys_ = keys & (MK_SHIFT | MK_CONTROL);
}

bool HeadlessDriver::HasPendingEvents(pid_t thread) {
    std::lock_guard lock(mutex_);
    auto it = threads_.find(thread);
    return it != threads_.end() && !it->second.events.empty();
}

std::optional<Surface> HeadlessDriver::Shown(HWND hwnd) {
    std::lock_guard lock(mutex_);
    auto it = windows_.find(hwnd);
    if (it == windows_.end())
        return std::nullopt;
    return it->second.shown;
}

int HeadlessDriver::PresentCount(HWND hwnd) {
    std::lock_guard lock(mutex_);
    auto it = windows_.find(hwnd);
    return it == windows_.end() ? 0 : it->second.presents;
}

std::u16string HeadlessDriver::Title(HWND hwnd) {
    std::lock_guard lock(mutex_);
    auto it = windows_.find(hwnd);
    return it == windows_.end() ? std::u16string() : it->second.title;
}

bool HeadlessDriver::IsVisible(HWND hwnd) {
    std::lock_guard lock(mutex_);
    auto it = windows_.find(hwnd);
    return it != windows_.end() && it->second.visible;
}

std::optional<RECT> HeadlessDriver::WindowRect(HWND hwnd) {
    std::lock_guard lock(mutex_);
    auto it = windows_.find(hwnd);
    if (it == windows_.end())
        return std::nullopt;
    return it->second.rect;
}

std::vector<HWND> HeadlessDriver::VisibleWindows() {
    std::lock_guard lock(mutex_);
    return order_;
}

std::unique_ptr<DisplayDriver> MakeHeadlessDriver() {
    return std::make_unique<HeadlessDriver>();
}

}  // namespace winlayer
