#include <windows.h>

#include "user32/thread_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

#include "window_test_support.h"

namespace {

using namespace windowtest;

constexpr DWORD kSentinel = 0xDEADBEEF;
constexpr UINT kProgress = WM_USER + 107;

std::vector<UINT> TakeAll(HWND filter = nullptr, UINT min = 0, UINT max = 0) {
    std::vector<UINT> taken;
    MSG msg;
    while (PeekMessageW(&msg, filter, min, max, PM_REMOVE)) {
        taken.push_back(msg.message);
        if (msg.message == WM_PAINT)
            DispatchMessageW(&msg);  // validates
    }
    return taken;
}

TEST(MessageQueue, PostedMessagesComeInOrderAndOnePaintAfterThem) {
    HWND hwnd = MakeWindow(WS_POPUP | WS_VISIBLE, nullptr, {0, 0, 100, 100});
    TakeAll();
    for (int i = 0; i < 20; ++i) {
        PostMessageW(hwnd, kProgress, 0, i);
        InvalidateRect(hwnd, nullptr, FALSE);
    }
    PostQuitMessage(3);
    PostMessageW(hwnd, WM_USER + 108, 0, 0);
    std::vector<UINT> expected(20, kProgress);
    expected.push_back(WM_USER + 108);
    expected.push_back(WM_QUIT);   // once nothing posted waits
    expected.push_back(WM_PAINT);  // a burst of invalidations gives one repaint
    EXPECT_EQ(TakeAll(), expected);
    DestroyWindow(hwnd);
}

TEST(MessageQueue, Filters) {
    HWND parent = MakeWindow(WS_POPUP);
    HWND child = MakeWindow(WS_CHILD, parent);
    HWND other = MakeWindow(WS_POPUP);
    TakeAll();
    PostMessageW(other, WM_USER + 1, 0, 0);
    PostMessageW(child, WM_USER + 2, 0, 0);
    PostThreadMessageW(GetCurrentThreadId(), WM_USER + 3, 0, 0);
    PostMessageW(parent, WM_USER + 4, 0, 0);
    PostMessageW(parent, WM_APP, 0, 0);

    MSG msg;
    EXPECT_TRUE(PeekMessageW(&msg, parent, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 2)) << "children pass the window filter";
    EXPECT_EQ(TakeAll(parent, WM_USER, WM_USER + 100),
              (std::vector<UINT>{WM_USER + 2, WM_USER + 4}));
    EXPECT_EQ(TakeAll(reinterpret_cast<HWND>(-1)), std::vector<UINT>{WM_USER + 3});
    EXPECT_EQ(TakeAll(), (std::vector<UINT>{WM_USER + 1, WM_APP}));

    SetLastError(kSentinel);
    HWND gone = MakeWindow();
    DestroyWindow(gone);
    EXPECT_EQ(GetMessageW(&msg, gone, 0, 0), -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_FALSE(PostThreadMessageW(0x7FFFFFF0, WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_THREAD_ID));
    DestroyWindow(parent);
    DestroyWindow(other);
}

// A user-interface thread with one window and a GetMessageW loop until WM_QUIT.
class UiThread {
  public:
    explicit UiThread(WNDPROC procedure = RecordingProc) {
        std::promise<void> ready;
        thread_ = std::thread([this, procedure, &ready] {
            threadId_ = GetCurrentThreadId();
            hwnd_ = MakeWindow(WS_POPUP);
            SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(procedure));
            ready.set_value();
            MSG msg;
            while (GetMessageW(&msg, nullptr, 0, 0) > 0)
                DispatchMessageW(&msg);
            DestroyWindow(hwnd_);
        });
        ready.get_future().wait();
    }
    ~UiThread() {
        PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
        thread_.join();
    }
    HWND hwnd() const { return hwnd_; }
    DWORD threadId() const { return threadId_; }
    bool WaitIdle() { return winlayer::WaitForThreadIdle(threadId_, 10000, nullptr); }

  private:
    std::thread thread_;
    DWORD threadId_ = 0;
    HWND hwnd_ = nullptr;
};

std::mutex receivedMutex;
std::vector<std::pair<WPARAM, LPARAM>> received;

LRESULT CALLBACK CollectingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kProgress) {
        std::lock_guard lock(receivedMutex);
        received.emplace_back(wParam, lParam);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

TEST(MessageQueue, PostingFromEightThreadsLosesAndReordersNothing) {
    received.clear();
    UiThread ui(CollectingProc);
    constexpr int kThreads = 8, kEach = 2000;
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t) {
        posters.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i)
                EXPECT_TRUE(PostMessageW(ui.hwnd(), kProgress, static_cast<WPARAM>(t), i));
        });
    }
    for (auto& poster : posters)
        poster.join();
    ASSERT_TRUE(ui.WaitIdle());
    std::lock_guard lock(receivedMutex);
    ASSERT_EQ(received.size(), static_cast<size_t>(kThreads * kEach));
    std::vector<LPARAM> next(kThreads, 0);
    for (const auto& [thread, value] : received)
        EXPECT_EQ(value, next[thread]++) << "thread " << thread;
}

TEST(MessageQueue, IdleIsAStateOfTheQueue) {
    UiThread ui;
    ASSERT_TRUE(ui.WaitIdle());
    auto queue = winlayer::FindQueue(ui.threadId());
    ASSERT_TRUE(queue);
    EXPECT_TRUE(queue->IsIdle());
    MessageLog::Get().Clear();
    PostMessageW(ui.hwnd(), WM_USER + 5, 0, 0);
    ASSERT_TRUE(ui.WaitIdle());
    EXPECT_EQ(MessageLog::Get().Of(ui.hwnd()), std::vector<UINT>{WM_USER + 5})
        << "idle again only after the message was handled";
}

LRESULT CALLBACK ThreadIdProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_USER + 9)
        return static_cast<LRESULT>(GetCurrentThreadId()) + static_cast<LRESULT>(lParam);
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

TEST(MessageQueue, SendingToAnotherThreadRunsThereAndWaits) {
    UiThread ui(ThreadIdProc);
    EXPECT_EQ(SendMessageW(ui.hwnd(), WM_USER + 9, 0, 1), static_cast<LRESULT>(ui.threadId()) + 1);
    EXPECT_EQ(SendMessageW(ui.hwnd(), WM_USER + 9, 0, 2), static_cast<LRESULT>(ui.threadId()) + 2);
}

TEST(MessageQueue, PostsAfterTheWindowOrItsThreadEndedFailCleanly) {
    HWND hwnd = nullptr;
    DWORD threadId = 0;
    std::thread([&] {
        hwnd = MakeWindow(WS_POPUP | WS_VISIBLE);
        threadId = GetCurrentThreadId();
    }).join();
    // The thread ended without destroying its window: the window went with it.
    SetLastError(kSentinel);
    EXPECT_FALSE(PostMessageW(hwnd, kProgress, 0, 100));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_FALSE(PostThreadMessageW(threadId, WM_USER, 0, 0));
}

// A procedure that creates, destroys, posts and sends from inside a dispatch: no layer lock may
// be held while it runs.
LRESULT CALLBACK ReentrantProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_USER + 20) {
        HWND inner = MakeWindow(WS_CHILD | WS_VISIBLE, hwnd, {0, 0, 10, 10});
        PostMessageW(hwnd, WM_USER + 21, 0, 0);
        SendMessageW(inner, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(u"x"));
        MoveWindow(inner, 1, 1, 5, 5, TRUE);
        InvalidateRect(hwnd, nullptr, TRUE);
        DestroyWindow(inner);
        return 7;
    }
    return RecordingProc(hwnd, message, wParam, lParam);
}

TEST(MessageQueue, WindowProceduresRunWithoutLayerLocks) {
    MessageLog::Get().Clear();
    UiThread ui(ReentrantProc);
    EXPECT_EQ(SendMessageW(ui.hwnd(), WM_USER + 20, 0, 0), 7);
    ASSERT_TRUE(ui.WaitIdle());
    auto log = MessageLog::Get().Of(ui.hwnd());
    EXPECT_NE(std::find(log.begin(), log.end(), WM_USER + 21), log.end());
}

LRESULT CALLBACK DestroyOnRequestProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_USER + 30) {
        DestroyWindow(hwnd);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

TEST(MessageQueue, AWorkerPostingWhileTheWindowIsDestroyedSeesAClearFailure) {
    UiThread ui(DestroyOnRequestProc);
    HWND hwnd = ui.hwnd();
    std::atomic<bool> failed{false};
    std::thread worker([&] {
        // Posts until the first refusal, as the install worker posts until its last step.
        for (long i = 0; i < 10'000'000 && !failed; ++i) {
            SetLastError(kSentinel);
            if (!PostMessageW(hwnd, kProgress, 0, i)) {
                EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
                failed = true;
            }
        }
    });
    PostMessageW(hwnd, WM_USER + 30, 0, 0);
    worker.join();
    EXPECT_TRUE(failed);
    EXPECT_FALSE(IsWindow(hwnd));
    ASSERT_TRUE(ui.WaitIdle());
    EXPECT_TRUE(winlayer::FindQueue(ui.threadId())->IsIdle()) << "nothing left for the dead window";
}

}  // namespace
