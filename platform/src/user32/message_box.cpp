// MessageBoxA/W: answered by the test interface, else by the user in a box window where the
// display shows one, else by its default button.
#include "user32/message_box.h"

#include "user32/message_box_window.h"

#include "kernel32/codepage.h"

#include <winlayer/message_boxes.h>

#include <atomic>
#include <cstdio>
#include <deque>
#include <mutex>
#include <optional>

namespace winlayer {
namespace {

struct MessageBoxState {
    std::mutex mutex;
    testing::MessageBoxAnswerer answerer;
    std::deque<int> queued;
    std::vector<testing::ShownMessageBox> shown;
};

MessageBoxState& State() {
    static MessageBoxState state;
    return state;
}

std::atomic<MessageBoxDriver> driver{nullptr};

}  // namespace

void SetMessageBoxDriver(MessageBoxDriver newDriver) {
    driver.store(newDriver);
}

int DefaultMessageBoxAnswer(UINT type) {
    switch (type & MB_TYPEMASK) {
        case MB_OK:
            return IDOK;
        case MB_ABORTRETRYIGNORE:
            return IDABORT;
        case MB_YESNO:
            return IDNO;
        default:
            return IDCANCEL;
    }
}

namespace testing {

void SetMessageBoxAnswerer(MessageBoxAnswerer answerer) {
    std::lock_guard lock(State().mutex);
    State().answerer = std::move(answerer);
}

void QueueMessageBoxAnswers(std::initializer_list<int> answers) {
    std::lock_guard lock(State().mutex);
    State().queued.insert(State().queued.end(), answers.begin(), answers.end());
}

std::vector<ShownMessageBox> ShownMessageBoxes() {
    std::lock_guard lock(State().mutex);
    return State().shown;
}

void ResetMessageBoxes() {
    std::lock_guard lock(State().mutex);
    State().answerer = nullptr;
    State().queued.clear();
    State().shown.clear();
}

}  // namespace testing
}  // namespace winlayer

using namespace winlayer;

int WINAPI MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
    std::u16string wideText = text ? std::u16string(text) : std::u16string();
    // Windows captions a box without caption "Error".
    std::u16string wideCaption = caption ? std::u16string(caption) : std::u16string(u"Error");
    testing::ShownMessageBox box{Utf8FromWide(wideText), Utf8FromWide(wideCaption), type,
                                 GetCurrentThreadId(), 0};

    MessageBoxState& state = State();
    std::optional<int> answer;
    testing::MessageBoxAnswerer answerer;
    {
        std::lock_guard lock(state.mutex);
        if (!state.queued.empty()) {
            answer = state.queued.front();
            state.queued.pop_front();
        } else {
            answerer = state.answerer;
        }
    }
    if (!answer && answerer)
        answer = answerer(box.text, box.caption, type);
    if (!answer) {
        if (MessageBoxDriver shown = driver.load()) {
            answer = shown(owner, wideText, wideCaption, type);
        } else if (MessageBoxWindowsShown()) {
            answer = RunMessageBoxWindow(owner, wideText, wideCaption, type);
        } else {
            answer = DefaultMessageBoxAnswer(type);
            std::fprintf(stderr, "[message box] %s: %s -> %d\n", box.caption.c_str(),
                         box.text.c_str(), *answer);
        }
    }
    box.answer = *answer;
    std::lock_guard lock(state.mutex);
    state.shown.push_back(std::move(box));
    return *answer;
}

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    std::u16string wideText = WideFromAnsi(text ? text : "");
    if (caption == nullptr)
        return MessageBoxW(owner, wideText.c_str(), nullptr, type);
    std::u16string wideCaption = WideFromAnsi(caption);
    return MessageBoxW(owner, wideText.c_str(), wideCaption.c_str(), type);
}
