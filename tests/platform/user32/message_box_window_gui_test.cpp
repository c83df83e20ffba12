#include <windows.h>
#include <winlayer/display.h>
#include <winlayer/message_boxes.h>

#include "user32/message_box_window.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <future>

#include "ui_thread.h"

namespace {

using namespace windowtest;
namespace display = winlayer::testing;

constexpr UINT kProgress = WM_USER + 107;

std::atomic<int> paints{0};
std::atomic<int> progress{-1};
std::atomic<int> moves{0};

LRESULT CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT paint;
            BeginPaint(hwnd, &paint);
            paints++;
            EndPaint(hwnd, &paint);
            return 0;
        }
        case kProgress:
            progress = static_cast<int>(lParam);
            InvalidateRect(hwnd, nullptr, FALSE);
            return 0;
        case WM_MOUSEMOVE:
            moves++;
            return 0;
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

HWND MakeDialog() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DialogProc;
    wc.lpszClassName = u"BusyDialog";
    RegisterClassExW(&wc);
    HWND hwnd = CreateWindowExW(WS_EX_TOPMOST, u"BusyDialog", u"dialog", WS_POPUP, 0, 0, 0, 0,
                                nullptr, nullptr, nullptr, nullptr);
    ShowWindow(hwnd, SW_SHOWNA);
    MoveWindow(hwnd, 100, 100, 500, 310, TRUE);
    return hwnd;
}

class MessageBoxWindowTest : public ::testing::Test {
  protected:
    MessageBoxWindowTest() { display::SetMessageBoxWindows(true); }
    ~MessageBoxWindowTest() override {
        display::SetMessageBoxWindows(false);
        display::ResetMessageBoxes();
    }
};

TEST_F(MessageBoxWindowTest, WorkersBoxLeavesTheUiThreadPaintingAndAnswering) {
    UiThread ui(MakeDialog);
    ASSERT_TRUE(ui.Idle());
    int paintedBefore = paints;
    int presentedBefore = display::PresentCount(ui.hwnd());

    DWORD workerId = 0;
    std::promise<int> answer;
    std::thread worker([&] {
        workerId = GetCurrentThreadId();
        // GBK: "警告"
        answer.set_value(MessageBoxA(nullptr, "Extract failed\nfile.dll", "\xbe\xaf\xb8\xe6",
                                     MB_ABORTRETRYIGNORE));
    });
    std::optional<display::MessageBoxWindow> box = display::WaitForMessageBox();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text, "Extract failed\nfile.dll");
    EXPECT_EQ(box->caption, "\u8b66\u544a");
    EXPECT_EQ(box->type, static_cast<UINT>(MB_ABORTRETRYIGNORE));
    EXPECT_EQ(box->threadId, workerId);
    EXPECT_TRUE(IsWindowVisible(box->hwnd));
    WCHAR title[8];
    GetWindowTextW(box->hwnd, title, 8);
    EXPECT_EQ(std::u16string(title), u"\u8b66\u544a");

    // The box shows its text in black on white, and its buttons.
    display::Image picture = display::CaptureWindow(box->hwnd);
    ASSERT_FALSE(picture.empty());
    EXPECT_EQ(picture.At(2, 2), RGB(255, 255, 255));
    int ink = 0;
    for (int y = 20; y < 60; ++y) {
        for (int x = 20; x < 120; ++x)
            ink += picture.At(x, y) == RGB(0, 0, 0);
    }
    EXPECT_GT(ink, 20) << "two lines of text";
    EXPECT_EQ(picture.At(picture.width / 2 - 37, picture.height - 33), RGB(240, 240, 240))
        << "the middle button's face";
    std::filesystem::create_directories(TEST_OUTPUT_DIR);
    EXPECT_TRUE(display::SavePng(picture, TEST_OUTPUT_DIR "/message_box_abort_retry_ignore.png"));

    // While the box waits, the dialog takes posted messages, repaints and follows the pointer.
    PostMessageW(ui.hwnd(), kProgress, 0, 57);
    display::MovePointer({150, 150});
    ASSERT_TRUE(ui.Idle());
    EXPECT_EQ(progress, 57);
    EXPECT_GT(paints, paintedBefore);
    EXPECT_GT(display::PresentCount(ui.hwnd()), presentedBefore);
    EXPECT_GT(moves, 0);

    // The box cannot be closed without an answer; its Retry button answers it.
    PostMessageW(box->hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    ASSERT_TRUE(display::WaitForIdle(box->threadId));
    EXPECT_TRUE(IsWindow(box->hwnd));
    EXPECT_FALSE(display::ClickMessageBoxButton(box->hwnd, IDOK)) << "no such button";
    ASSERT_TRUE(display::ClickMessageBoxButton(box->hwnd, IDRETRY));
    auto result = answer.get_future();
    EXPECT_EQ(result.get(), IDRETRY);
    worker.join();
    EXPECT_FALSE(IsWindow(box->hwnd));
    auto shown = display::ShownMessageBoxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].answer, IDRETRY);
}

TEST_F(MessageBoxWindowTest, ScriptedAnswersComeBeforeAnyWindow) {
    display::QueueMessageBoxAnswers({IDIGNORE});
    EXPECT_EQ(MessageBoxA(nullptr, "text", "caption", MB_ABORTRETRYIGNORE), IDIGNORE);
    EXPECT_FALSE(display::WaitForMessageBox(0));
}

TEST_F(MessageBoxWindowTest, BoxesThatCanBeClosedAnswerTheirCancelButton) {
    std::promise<int> answer;
    std::thread worker([&] { answer.set_value(MessageBoxW(nullptr, u"?", u"c", MB_OKCANCEL)); });
    auto box = display::WaitForMessageBox();
    ASSERT_TRUE(box);
    PostMessageW(box->hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(answer.get_future().get(), IDCANCEL);
    worker.join();
}

TEST_F(MessageBoxWindowTest, QuitEndsTheBoxAndReachesTheOuterLoop) {
    std::promise<std::pair<int, BOOL>> result;
    std::thread worker([&] {
        int answer = MessageBoxW(nullptr, u"?", u"c", MB_ABORTRETRYIGNORE);
        MSG msg;
        BOOL outer = GetMessageW(&msg, nullptr, 0, 0);
        result.set_value({answer, outer});
    });
    auto box = display::WaitForMessageBox();
    ASSERT_TRUE(box);
    PostThreadMessageW(box->threadId, WM_QUIT, 7, 0);
    auto [answer, outer] = result.get_future().get();
    worker.join();
    EXPECT_EQ(answer, 0) << "no button answered";
    EXPECT_EQ(outer, FALSE) << "WM_QUIT is posted again for the thread's own loop";
    EXPECT_FALSE(IsWindow(box->hwnd));
}

TEST(MessageBoxButtons, LabelsInTheInterfaceLanguage) {
    struct Row {
        LANGID language;
        std::vector<std::u16string> labels;
    } rows[] = {
        {2052, {u"中止", u"重试", u"忽略"}},
        {1028, {u"中止", u"重試", u"略過"}},
        {1033, {u"Abort", u"Retry", u"Ignore"}},
    };
    for (const Row& row : rows) {
        auto buttons = winlayer::MessageBoxButtons(MB_ABORTRETRYIGNORE, row.language);
        ASSERT_EQ(buttons.size(), 3u);
        EXPECT_EQ(buttons[0].id, IDABORT);
        EXPECT_EQ(buttons[2].id, IDIGNORE);
        for (size_t i = 0; i < 3; ++i)
            EXPECT_EQ(buttons[i].label, row.labels[i]) << row.language;
    }
    EXPECT_EQ(winlayer::MessageBoxButtons(MB_OK, 2052).at(0).label, u"确定");
}

}  // namespace
