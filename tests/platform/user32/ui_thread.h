// A user-interface thread for the window tests: it makes a window with the given procedure and
// runs a GetMessageW loop until the test ends; the test drives it through the headless display
// and waits for it with WaitForIdle, never by sleeping.
#pragma once

#include <windows.h>
#include <winlayer/display.h>

#include <functional>
#include <future>
#include <thread>

namespace windowtest {

class UiThread {
  public:
    // `make` runs on the new thread and returns the window the test works with.
    explicit UiThread(std::function<HWND()> make) {
        std::promise<void> ready;
        thread_ = std::thread([this, make, &ready] {
            threadId_ = GetCurrentThreadId();
            hwnd_ = make();
            ready.set_value();
            MSG msg;
            while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
            if (IsWindow(hwnd_))
                DestroyWindow(hwnd_);
        });
        ready.get_future().wait();
    }
    ~UiThread() {
        PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
        thread_.join();
    }
    UiThread(const UiThread&) = delete;
    UiThread& operator=(const UiThread&) = delete;

    HWND hwnd() const { return hwnd_; }
    DWORD threadId() const { return threadId_; }
    bool Idle() { return winlayer::testing::WaitForIdle(threadId_, 10000); }

  private:
    std::thread thread_;
    DWORD threadId_ = 0;
    HWND hwnd_ = nullptr;
};

}  // namespace windowtest
