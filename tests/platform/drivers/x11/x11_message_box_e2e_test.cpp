// A message box on a worker thread is a window of the worker's own X connection: it is answered
// by a click while the main window, on its own thread, keeps repainting.
#include "x11_e2e_support.h"

#include "user32/message_box_window.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

namespace {

TEST(X11MessageBox, OnAWorkerIsAnsweredByAClickWhileTheWindowRepaints) {
    e2e::UiWindow window({});
    unsigned long main = e2e::FindXWindow("e2e window");
    ASSERT_NE(main, 0u);

    std::promise<int> answer;
    std::future<int> answered = answer.get_future();
    std::thread worker([&] {
        answer.set_value(
            MessageBoxW(nullptr, u"下载失败\nDownload failed", u"e2e box", MB_ABORTRETRYIGNORE));
    });
    // A failed check leaves the box up: the worker is then left behind with the process.
    struct Leave {
        std::thread& t;
        ~Leave() {
            if (t.joinable())
                t.detach();
        }
    } leave{worker};
    unsigned long box = e2e::FindXWindow("e2e box");
    EXPECT_NE(box, 0u) << "no X window titled e2e box";
    std::optional<winlayer::OpenMessageBox> open = winlayer::WaitForOpenMessageBox(20000);
    ASSERT_TRUE(open);
    EXPECT_NE(open->threadId, window.threadId());

    // The main window repaints while the box waits.
    window.Repaint(RGB(0x07, 0x0D, 0x7D));
    EXPECT_TRUE(e2e::Photograph(main, e2e::OutputPath("box-main-1.png"), 5, 5, 0x070D7D));
    window.Repaint(RGB(0xE7, 0xE7, 0xE7));
    EXPECT_TRUE(e2e::Photograph(main, e2e::OutputPath("box-main-2.png"), 5, 5, 0xE7E7E7));
    EXPECT_EQ(answered.wait_for(std::chrono::seconds(0)), std::future_status::timeout);

    EXPECT_TRUE(e2e::Snapshot(box, e2e::OutputPath("box.png")));
    std::optional<RECT> retry = winlayer::MessageBoxButtonRect(open->hwnd, IDRETRY);
    ASSERT_TRUE(retry);
    int x = (retry->left + retry->right) / 2, y = (retry->top + retry->bottom) / 2;
    ASSERT_EQ(
        e2e::Xdotool("mousemove --sync " + std::to_string(x) + " " + std::to_string(y) + " click 1")
            .status,
        0);
    ASSERT_EQ(answered.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_EQ(answered.get(), IDRETRY);
    worker.join();
}

}  // namespace
