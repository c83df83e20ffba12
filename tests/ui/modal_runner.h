// Runs a modal window of the framework on a thread of its own, as the program's user-interface
// thread, and drives it from the test's thread through the headless display: pointer and
// buttons in screen coordinates, posted messages, and WaitForIdle after each step.
#pragma once

#include <windows.h>
#include <winlayer/display.h>
#include <winlayer/gdi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>

namespace uitest {

namespace display = winlayer::testing;

// Adds the signal the runner waits for: the window has been shown and placed.
template <class Base>
class Observed : public Base {
  public:
    using Base::Base;
    std::function<void()> onPlaced;
    void PlaceOnScreen() override {
        Base::PlaceOnScreen();
        if (onPlaced)
            onPlaced();
    }
};

template <class Window>
class ModalRunner {
  public:
    using Make = std::function<std::unique_ptr<Observed<Window>>()>;
    // Runs on the user-interface thread after the modal loop has ended, before the window
    // object is destroyed.
    std::function<void(Observed<Window>&)> afterLoop;

    ~ModalRunner() { Stop(); }

    // Ends the loop if it still runs (WM_QUIT) and waits for the thread.
    void Stop() {
        if (thread_.joinable()) {
            if (!Ended())
                PostThreadMessageW(threadId, WM_QUIT, 0, 0);
            thread_.join();
        }
    }

    // Constructs the window object on a new thread and runs it; returns once the window is
    // placed and its thread idle.
    void Start(Make make) {
        std::promise<void> placed;
        std::future<void> placedFuture = placed.get_future();
        ended_ = endedPromise_.get_future();
        thread_ = std::thread([this, make, &placed] {
            threadId = GetCurrentThreadId();
            std::unique_ptr<Observed<Window>> object = make();
            object->onPlaced = [&placed] { placed.set_value(); };
            window = object.get();
            object->RunModal();
            if (afterLoop)
                afterLoop(*object);
            object.reset();
            endedPromise_.set_value();
        });
        ASSERT_EQ(placedFuture.wait_for(std::chrono::seconds(30)), std::future_status::ready);
        hwnd = window->hwnd;
        ASSERT_TRUE(Idle());
    }

    bool Idle() { return display::WaitForIdle(threadId, 20000); }
    // Whether the modal loop has ended and the object has been destroyed.
    bool Ended() {
        return ended_.valid() &&
               ended_.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    }
    bool WaitForEnd() {
        return ended_.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
    }

    // A point of the window's client area on the screen.
    POINT Screen(int x, int y) const {
        RECT rect{};
        GetWindowRect(hwnd, &rect);
        return {rect.left + x, rect.top + y};
    }
    void MoveTo(int x, int y) {
        display::MovePointer(Screen(x, y));
        ASSERT_TRUE(Idle());
    }
    void ClickAt(int x, int y, UINT keys = 0) { display::Click(Screen(x, y), keys); }
    void Post(UINT message, WPARAM wParam, LPARAM lParam) {
        ASSERT_TRUE(PostMessageW(hwnd, message, wParam, lParam));
        ASSERT_TRUE(Idle());
    }
    display::Image Capture() const { return display::CaptureWindow(hwnd); }
    RECT WindowRect() const {
        RECT rect{};
        GetWindowRect(hwnd, &rect);
        return rect;
    }

    Observed<Window>* window = nullptr;
    HWND hwnd = nullptr;
    DWORD threadId = 0;

  private:
    std::thread thread_;
    std::promise<void> endedPromise_;
    std::future<void> ended_;
};

// The smallest box around the pixels of `color` inside [left, right) × [top, bottom); empty
// (left == right) when there are none.
inline RECT InkBox(const display::Image& image, COLORREF color, RECT area) {
    RECT box{area.right, area.bottom, area.left, area.top};
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x)
            if (image.At(x, y) == color) {
                box.left = std::min<LONG>(box.left, x);
                box.top = std::min<LONG>(box.top, y);
                box.right = std::max<LONG>(box.right, x + 1);
                box.bottom = std::max<LONG>(box.bottom, y + 1);
            }
    if (box.left >= box.right)
        return RECT{};
    return box;
}

inline int CountColor(const display::Image& image, COLORREF color, RECT area) {
    int count = 0;
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x)
            count += image.At(x, y) == color;
    return count;
}

// Where the pictures of the tests go: build/test-output/.
inline std::string OutputPath(const std::string& name) {
    std::string folder = std::string(TEST_OUTPUT_DIR);
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    return folder + "/" + name;
}

}  // namespace uitest
