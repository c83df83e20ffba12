// The message box window: centred on the primary monitor, the text line by line, one button per
// answer in the user-interface language, and a modal loop on the calling thread's queue that
// ends when a button is clicked. Other threads' windows are untouched, so a box on the install
// worker never stops the dialog painting.
#include "user32/message_box_window.h"

#include "drivers/headless/headless_driver.h"
#include "kernel32/codepage.h"
#include "user32/message_box_paint.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace winlayer {
namespace {

constexpr const WCHAR* kBoxClass = u"WinlayerMessageBox";

std::atomic<bool> windowsOnHeadless{false};

struct BoxRegistry {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<MessageBoxLayout*> open;  // oldest first
};

BoxRegistry& Registry() {
    static BoxRegistry* registry = new BoxRegistry;
    return *registry;
}

MessageBoxLayout* BoxOf(HWND hwnd) {
    return reinterpret_cast<MessageBoxLayout*>(GetWindowLongPtrW(hwnd, 0));
}

const MessageBoxLayout::Button* ButtonAt(const MessageBoxLayout& box, LPARAM lParam) {
    POINT pt{static_cast<SHORT>(LOWORD(lParam)), static_cast<SHORT>(HIWORD(lParam))};
    for (const auto& button : box.buttons) {
        if (PtInRect(&button.rect, pt))
            return &button;
    }
    return nullptr;
}

void Unregister(MessageBoxLayout* box);

void Answer(HWND hwnd, MessageBoxLayout& box, int id) {
    box.answer = id;
    Unregister(&box);
    DestroyWindow(hwnd);
}

// The answer of closing the box, or 0 when it cannot be closed (no cancel-like button).
int CloseAnswer(UINT type) {
    switch (type & MB_TYPEMASK) {
        case MB_OK:
            return IDOK;
        case MB_OKCANCEL:
        case MB_YESNOCANCEL:
        case MB_RETRYCANCEL:
            return IDCANCEL;
        default:
            return 0;
    }
}

LRESULT CALLBACK BoxProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, 0, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    MessageBoxLayout* box = BoxOf(hwnd);
    if (box == nullptr)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(hwnd, &paint);
            if (dc != nullptr)
                PaintMessageBox(dc, *box);
            EndPaint(hwnd, &paint);
            return 0;
        }
        case WM_LBUTTONDOWN:
            if (const auto* button = ButtonAt(*box, lParam)) {
                box->pressed = button->id;
                SetCapture(hwnd);
            }
            return 0;
        case WM_LBUTTONUP: {
            int pressed = box->pressed;
            box->pressed = 0;
            if (GetCapture() == hwnd)
                ReleaseCapture();
            const auto* button = ButtonAt(*box, lParam);
            if (button != nullptr && button->id == pressed)
                Answer(hwnd, *box, pressed);
            return 0;
        }
        case WM_CLOSE:
            if (int id = CloseAnswer(box->type))
                Answer(hwnd, *box, id);
            return 0;
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

void RegisterBoxClass() {
    static std::once_flag once;
    std::call_once(once, [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = BoxProc;
        wc.cbWndExtra = sizeof(void*);
        wc.lpszClassName = kBoxClass;
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        RegisterClassExW(&wc);
    });
}

void Register(MessageBoxLayout* box) {
    BoxRegistry& registry = Registry();
    {
        std::lock_guard lock(registry.mutex);
        registry.open.push_back(box);
    }
    registry.changed.notify_all();
}

void Unregister(MessageBoxLayout* box) {
    BoxRegistry& registry = Registry();
    std::lock_guard lock(registry.mutex);
    auto& open = registry.open;
    open.erase(std::remove(open.begin(), open.end(), box), open.end());
}

}  // namespace

bool MessageBoxWindowsShown() {
    return Headless() == nullptr || windowsOnHeadless.load();
}

void SetMessageBoxWindowsOnHeadless(bool enabled) {
    windowsOnHeadless.store(enabled);
}

std::vector<MessageBoxButton> MessageBoxButtons(UINT type, LANGID language) {
    enum { Ok, Cancel, Abort, Retry, Ignore, Yes, No };
    static const char16_t* const simplified[] = {u"确定", u"取消", u"中止", u"重试",
                                                 u"忽略", u"是",   u"否"};
    static const char16_t* const traditional[] = {u"確定", u"取消", u"中止", u"重試",
                                                  u"略過", u"是",   u"否"};
    static const char16_t* const english[] = {u"OK",     u"Cancel", u"Abort", u"Retry",
                                              u"Ignore", u"Yes",    u"No"};
    const char16_t* const* labels = english;
    if (language == 2052 || language == 4100)
        labels = simplified;
    else if (language == 1028 || language == 3076 || language == 5124)
        labels = traditional;
    auto make = [labels](std::initializer_list<std::pair<int, int>> buttons) {
        std::vector<MessageBoxButton> result;
        for (auto [id, label] : buttons)
            result.push_back({id, labels[label]});
        return result;
    };
    switch (type & MB_TYPEMASK) {
        case MB_OKCANCEL:
            return make({{IDOK, Ok}, {IDCANCEL, Cancel}});
        case MB_ABORTRETRYIGNORE:
            return make({{IDABORT, Abort}, {IDRETRY, Retry}, {IDIGNORE, Ignore}});
        case MB_YESNOCANCEL:
            return make({{IDYES, Yes}, {IDNO, No}, {IDCANCEL, Cancel}});
        case MB_YESNO:
            return make({{IDYES, Yes}, {IDNO, No}});
        case MB_RETRYCANCEL:
            return make({{IDRETRY, Retry}, {IDCANCEL, Cancel}});
        default:
            return make({{IDOK, Ok}});
    }
}

int RunMessageBoxWindow(HWND owner, const std::u16string& text, const std::u16string& caption,
                        UINT type) {
    RegisterBoxClass();
    MessageBoxLayout box;
    box.text = text;
    box.type = type;
    box.textUtf8 = Utf8FromWide(text);
    box.captionUtf8 = Utf8FromWide(caption);
    box.threadId = GetCurrentThreadId();
    for (const MessageBoxButton& button : MessageBoxButtons(type, GetUserDefaultUILanguage()))
        box.buttons.push_back({button.id, button.label, RECT{}});
    SIZE size = LayOutMessageBox(box);
    int x = (GetSystemMetrics(SM_CXSCREEN) - size.cx) / 2;
    int y = (GetSystemMetrics(SM_CYSCREEN) - size.cy) / 2;
    // Topmost, so that no topmost window of another thread hides the question; owned by the
    // owner given, so the display keeps it above that window too.
    HWND hwnd = CreateWindowExW(WS_EX_TOPMOST, kBoxClass, caption.c_str(),
                                WS_POPUP | WS_CAPTION | WS_SYSMENU, x, y, size.cx, size.cy,
                                IsWindow(owner) ? owner : nullptr, nullptr, nullptr, &box);
    if (hwnd == nullptr)
        return 0;
    box.hwnd = hwnd;
    ShowWindow(hwnd, SW_SHOW);
    Register(&box);
    MSG msg;
    bool quit = false;
    while (IsWindow(hwnd)) {
        if (GetMessageW(&msg, nullptr, 0, 0) <= 0) {
            quit = true;
            break;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    Unregister(&box);
    if (quit) {
        // The thread is ending its loop: the box goes, and the loop above it sees WM_QUIT too.
        DestroyWindow(hwnd);
        PostQuitMessage(static_cast<int>(msg.wParam));
    }
    return box.answer;
}

std::optional<OpenMessageBox> WaitForOpenMessageBox(DWORD timeoutMs) {
    BoxRegistry& registry = Registry();
    std::unique_lock lock(registry.mutex);
    if (!registry.changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                   [&] { return !registry.open.empty(); })) {
        return std::nullopt;
    }
    const MessageBoxLayout& box = *registry.open.front();
    return OpenMessageBox{box.hwnd, box.textUtf8, box.captionUtf8, box.type, box.threadId};
}

std::optional<RECT> MessageBoxButtonRect(HWND hwnd, int id) {
    RECT button{};
    {
        BoxRegistry& registry = Registry();
        std::lock_guard lock(registry.mutex);
        auto it = std::find_if(registry.open.begin(), registry.open.end(),
                               [hwnd](const MessageBoxLayout* b) { return b->hwnd == hwnd; });
        if (it == registry.open.end())
            return std::nullopt;
        auto found = std::find_if((*it)->buttons.begin(), (*it)->buttons.end(),
                                  [id](const auto& b) { return b.id == id; });
        if (found == (*it)->buttons.end())
            return std::nullopt;
        button = found->rect;
    }
    POINT origin{0, 0};
    if (!ClientToScreen(hwnd, &origin))
        return std::nullopt;
    OffsetRect(&button, origin.x, origin.y);
    return button;
}

}  // namespace winlayer
