// Helpers of the window tests: a window class whose procedure records every message it gets.
#pragma once

#include <windows.h>

#include <mutex>
#include <vector>

namespace windowtest {

struct Recorded {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
};

class MessageLog {
  public:
    static MessageLog& Get() {
        static MessageLog log;
        return log;
    }
    void Add(HWND hwnd, UINT message, WPARAM wParam) {
        std::lock_guard lock(mutex_);
        entries_.push_back({hwnd, message, wParam});
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        entries_.clear();
    }
    // Messages of one window (null: every window), in order.
    std::vector<UINT> Of(HWND hwnd) {
        std::lock_guard lock(mutex_);
        std::vector<UINT> messages;
        for (const Recorded& r : entries_) {
            if (hwnd == nullptr || r.hwnd == hwnd)
                messages.push_back(r.message);
        }
        return messages;
    }
    std::vector<Recorded> All() {
        std::lock_guard lock(mutex_);
        return entries_;
    }

  private:
    std::mutex mutex_;
    std::vector<Recorded> entries_;
};

inline LRESULT CALLBACK RecordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    MessageLog::Get().Add(hwnd, message, wParam);
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

inline constexpr const WCHAR* kRecordingClass = u"RecordingWindow";

// Registers the recording class once per process (8 extra bytes, redrawn on resize).
inline void RegisterRecordingClass() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = RecordingProc;
    wc.cbWndExtra = 8;
    wc.lpszClassName = kRecordingClass;
    RegisterClassExW(&wc);
}

inline HWND MakeWindow(DWORD style = WS_POPUP, HWND parent = nullptr, RECT rect = {0, 0, 0, 0}) {
    RegisterRecordingClass();
    return CreateWindowExW(0, kRecordingClass, nullptr, style, rect.left, rect.top,
                           rect.right - rect.left, rect.bottom - rect.top, parent, nullptr, nullptr,
                           nullptr);
}

// Empties the calling thread's queue, dispatching what it holds.
inline void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&msg);
}

}  // namespace windowtest
