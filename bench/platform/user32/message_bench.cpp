// Message queue figures, run by hand:
//  1. one million messages posted by a worker thread to a window of the user-interface thread,
//     which takes and dispatches them: wall-clock time and messages per second;
//  2. the CPU time of a thread that waits in GetMessageW for 5 s with nothing to do.
//     Usage: user32_message_bench [messages] [idle seconds]
#include <windows.h>

#include <time.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {

constexpr UINT kTick = WM_USER + 1;
constexpr UINT kLast = WM_USER + 2;

std::atomic<long> dispatched{0};

LRESULT CALLBACK CountingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kTick) {
        dispatched.fetch_add(1, std::memory_order_relaxed);
        return 0;
    }
    if (message == kLast) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

double ThreadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

void PostAndDispatch(long count) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = CountingProc;
    wc.lpszClassName = u"BenchWindow";
    RegisterClassExW(&wc);
    HWND hwnd = CreateWindowExW(0, u"BenchWindow", nullptr, WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                nullptr, nullptr);
    auto start = std::chrono::steady_clock::now();
    std::thread worker([hwnd, count] {
        for (long i = 0; i < count; ++i)
            PostMessageW(hwnd, kTick, 0, i);
        PostMessageW(hwnd, kLast, 0, 0);
    });
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0)
        DispatchMessageW(&msg);
    worker.join();
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("posted and dispatched %ld messages across two threads in %.3f s (%.0f per s)\n",
                dispatched.load(), seconds, static_cast<double>(dispatched.load()) / seconds);
    DestroyWindow(hwnd);
}

void IdleWait(int seconds) {
    DWORD threadId = 0;
    double cpu = 0;
    std::atomic<bool> ready{false};
    std::thread idle([&] {
        threadId = GetCurrentThreadId();
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // the queue exists from here on
        ready = true;
        double before = ThreadCpuSeconds();
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        }
        cpu = ThreadCpuSeconds() - before;
    });
    while (!ready)
        std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    PostThreadMessageW(threadId, WM_QUIT, 0, 0);
    idle.join();
    std::printf("a thread waiting %d s in GetMessageW used %.3f s of CPU\n", seconds, cpu);
}

}  // namespace

int main(int argc, char** argv) {
    long count = argc > 1 ? std::atol(argv[1]) : 1000000;
    int seconds = argc > 2 ? std::atoi(argv[2]) : 5;
    PostAndDispatch(count);
    IdleWait(seconds);
    return 0;
}
