// Helpers of the x11 driver's end-to-end tests: each test process runs on a virtual X display of
// its own (the test binary starts itself again under tools/xvfb-session), drives it with xdotool
// and photographs it with tools/xshot.
#pragma once

#include <windows.h>

#include "common/surface.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace e2e {

// Runs a shell command; its standard output (trailing newline removed) and exit status.
struct CommandResult {
    int status = -1;
    std::string out;
};
CommandResult Run(const std::string& command);
// Runs one disabled test of this binary in a process of its own, with `env` (shell assignments)
// and E2E_CHILD set, so the test chooses its display itself; standard error comes with the output.
CommandResult RunSelf(const std::string& env, const std::string& test);
// "xdotool ..." with a time limit, so a lost window fails the test instead of hanging it.
CommandResult Xdotool(const std::string& arguments);

// The X window of a mapped window with exactly this title, found by xdotool; 0 when none came.
unsigned long FindXWindow(const std::string& title);
// Position and size of an X window as xdotool reports them.
struct Geometry {
    int x = 0, y = 0, width = 0, height = 0;
};
Geometry XGeometry(unsigned long xwindow);

// The PNG file, its pixels as 0x00RRGGBB, rows top-down; empty when it cannot be read.
struct Picture {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
    uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};
Picture LoadPng(const std::string& path);
bool SavePng(const winlayer::Surface& surface, const std::string& path);
// xshot of an X window (0: the screen) once the pixel has the colour; false when it never had it.
bool Photograph(unsigned long xwindow, const std::string& path, int x, int y, uint32_t rgb);

// xshot of an X window as it is now.
bool Snapshot(unsigned long xwindow, const std::string& path);

// A file name for a test's picture under the build's test-output folder.
std::string OutputPath(const std::string& name);

// Messages a window procedure saw, for a test thread to wait on.
struct Seen {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
class MessageLog {
  public:
    void Add(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    // Waits until a message satisfies the predicate; it and the ones before it are consumed.
    bool WaitFor(const std::function<bool(const Seen&)>& match, Seen* found = nullptr);
    bool WaitFor(UINT message, Seen* found = nullptr) {
        return WaitFor([message](const Seen& s) { return s.message == message; }, found);
    }

    // How many of the messages not yet consumed are this one.
    int Count(UINT message);

  private:
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<Seen> seen_;
};

// A top-level window of its own class on a UI thread of its own, running a GetMessageW loop.
// The procedure records pointer, paint and move messages in `log`; a left click starts the drag
// loop when `dragOnClick`; WM_PAINT fills the client area with `fill` (or calls `paint`).
class UiWindow {
  public:
    struct Options {
        RECT rect{200, 150, 520, 390};
        std::u16string title = u"e2e window";
        DWORD style = WS_POPUP;
        bool dragOnClick = false;
        COLORREF fill = RGB(0x20, 0x80, 0xC0);
        std::function<void(HDC, const RECT&)> paint;
    };
    explicit UiWindow(Options options);
    ~UiWindow();  // closes the window and joins the thread

    HWND hwnd() const { return hwnd_; }
    DWORD threadId() const { return threadId_; }
    MessageLog log;
    // Runs on the UI thread (posted), waiting for it to finish.
    void OnUiThread(std::function<void()> task);
    // Paints the client area with another colour (through WM_PAINT).
    void Repaint(COLORREF fill);
    // Whether GetMessageW returned 0 or -1 (the loop ended), waiting for it at most 20 s.
    bool WaitForLoopEnd();
    const Options& options() const { return options_; }

  private:
    static LRESULT CALLBACK Procedure(HWND, UINT, WPARAM, LPARAM);
    void Run(std::promise<void> ready);

    Options options_;
    HWND hwnd_ = nullptr;
    DWORD threadId_ = 0;
    std::promise<void> loopEnded_;
    std::future<void> loopEndedFuture_;
    std::thread thread_;
};

constexpr UINT kRunTask = WM_APP + 1;

}  // namespace e2e
