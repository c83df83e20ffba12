// The headless display: top-level windows in memory with what they last presented, a monitor
// layout, and a pointer moved by the test interface. Events reach the thread that owns the window
// through that thread's eventfd, as an X connection's would.
#pragma once

#include "drivers/display_driver.h"

#include <sys/types.h>

#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace winlayer {

class HeadlessDriver final : public DisplayDriver {
  public:
    HeadlessDriver();
    ~HeadlessDriver() override;

    std::vector<MonitorDesc> Monitors() override;
    POINT CursorPos() override;
    UINT ButtonsDown() override;

    bool CreateTopLevel(const TopLevelDesc& desc) override;
    void DestroyTopLevel(HWND window) override;
    void SetVisible(HWND window, bool show, bool activate) override;
    void SetRect(HWND window, const RECT& rect) override;
    void SetTitle(HWND window, std::u16string_view title) override;
    void SetIcons(HWND window, const IconImage& big, const IconImage& small) override;
    void Present(HWND window, const Surface& surface, const RECT& dirty) override;
    void SetCapture(HWND window) override;
    bool MovePointer(POINT screen) override;

    int ThreadFd() override;
    void ProcessEvents(EventSink& sink) override;
    void Flush() override {}

    // The test interface's side.
    void SetMonitors(std::vector<MonitorDesc> monitors);
    void PressButton(UINT button);
    void ReleaseButton(UINT button);
    void SetKeys(UINT keys);  // MK_SHIFT | MK_CONTROL
    // The user closes the window through the display (a window manager's close).
    void RequestClose(HWND window);
    // Events wait for the thread to take them.
    bool HasPendingEvents(pid_t thread);
    // What the window shows (its last presentations), or nothing for an unknown window.
    std::optional<Surface> Shown(HWND window);
    int PresentCount(HWND window);
    std::u16string Title(HWND window);
    bool IsVisible(HWND window);
    std::optional<RECT> WindowRect(HWND window);
    // Visible top-level windows, frontmost first.
    std::vector<HWND> VisibleWindows();

    // Parses WINLAYER_MONITORS: "1920x1080+0+0,1280x1024+1920+0@144,!800x600+0+1080" (`@dpi`,
    // `!` not attached, `*` primary, else the first). Nothing for a malformed list.
    static std::optional<std::vector<MonitorDesc>> ParseMonitors(std::string_view text);

  private:
    struct TopLevel {
        RECT rect{};
        bool visible = false;
        bool topmost = false;
        pid_t thread = 0;
        std::u16string title;
        Surface shown;
        int presents = 0;
        IconImage bigIcon, smallIcon;
    };
    struct Event {
        enum Kind { Motion, Button, Leave, Close } kind;
        HWND window;
        UINT message;
        POINT screen;
        UINT keys;
    };
    struct ThreadEvents {
        int fd = -1;
        std::deque<Event> events;
    };

    // Lock held.
    HWND WindowAtLocked(POINT screen);
    void QueueLocked(HWND window, const Event& event);
    void PointerChangedLocked();
    void ButtonLocked(UINT button, bool down);

    std::mutex mutex_;
    std::vector<MonitorDesc> monitors_;
    std::map<HWND, TopLevel> windows_;
    std::vector<HWND> order_;  // frontmost first
    std::map<pid_t, ThreadEvents> threads_;
    POINT cursor_{};
    UINT buttons_ = 0;
    UINT keys_ = 0;
    HWND capture_ = nullptr;
    HWND under_ = nullptr;  // the top-level window under the pointer
};

// The headless driver when it is the process's display, else null.
HeadlessDriver* Headless();

std::unique_ptr<DisplayDriver> MakeHeadlessDriver();

}  // namespace winlayer
