#include <windows.h>
#include <winlayer/message_boxes.h>

#include <gtest/gtest.h>

#include <thread>

namespace {

using namespace winlayer::testing;

class MessageBoxTest : public ::testing::Test {
  protected:
    ~MessageBoxTest() override { ResetMessageBoxes(); }
};

TEST_F(MessageBoxTest, QueuedAnswersComeFirstThenTheAnswerer) {
    std::string seenText, seenCaption;
    SetMessageBoxAnswerer([&](const std::string& text, const std::string& caption, UINT) {
        seenText = text;
        seenCaption = caption;
        return IDIGNORE;
    });
    QueueMessageBoxAnswers({IDRETRY, IDABORT});
    // GBK bytes of the caption "警告" reach the answerer as UTF-8.
    EXPECT_EQ(MessageBoxA(nullptr, "one", "\xbe\xaf\xb8\xe6", MB_ABORTRETRYIGNORE), IDRETRY);
    EXPECT_EQ(MessageBoxA(nullptr, "two", "c", MB_ABORTRETRYIGNORE), IDABORT);
    EXPECT_EQ(MessageBoxW(nullptr, u"three", u"\u8b66\u544a", MB_ABORTRETRYIGNORE), IDIGNORE);
    EXPECT_EQ(seenText, "three");
    EXPECT_EQ(seenCaption, "\u8b66\u544a");

    auto shown = ShownMessageBoxes();
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0].caption, "\u8b66\u544a");
    EXPECT_EQ(shown[0].answer, IDRETRY);
    EXPECT_EQ(shown[1].text, "two");
    EXPECT_EQ(shown[2].type, static_cast<UINT>(MB_ABORTRETRYIGNORE));
}

TEST_F(MessageBoxTest, TheAnswererRunsOnTheShowingThread) {
    DWORD answeredOn = 0;
    SetMessageBoxAnswerer([&](const std::string&, const std::string&, UINT) {
        answeredOn = GetCurrentThreadId();
        return IDOK;
    });
    DWORD workerId = 0;
    std::thread worker([&] {
        workerId = GetCurrentThreadId();
        MessageBoxA(nullptr, "from a worker", nullptr, MB_OK);
    });
    worker.join();
    EXPECT_EQ(answeredOn, workerId);
    EXPECT_NE(answeredOn, GetCurrentThreadId());
    EXPECT_EQ(ShownMessageBoxes().at(0).caption, "Error") << "Windows's caption for none";
}

TEST_F(MessageBoxTest, WithoutAnswerBoxesGetTheirCancelLikeButton) {
    struct Row {
        UINT type;
        int answer;
    } rows[] = {
        {MB_OK, IDOK},
        {MB_OKCANCEL, IDCANCEL},
        {MB_ABORTRETRYIGNORE, IDABORT},
        {MB_YESNO, IDNO},
        {MB_YESNOCANCEL, IDCANCEL},
        {MB_RETRYCANCEL, IDCANCEL},
        {MB_OK | MB_ICONWARNING, IDOK},
    };
    for (const Row& row : rows) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(MessageBoxA(nullptr, "text", "caption", row.type), row.answer) << row.type;
        EXPECT_NE(testing::internal::GetCapturedStderr().find("caption: text"), std::string::npos)
            << "the box is printed";
    }
}

}  // namespace
