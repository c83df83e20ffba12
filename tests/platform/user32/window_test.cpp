#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "window_test_support.h"

namespace {

using namespace windowtest;
using Messages = std::vector<UINT>;

constexpr DWORD kSentinel = 0xDEADBEEF;

class WindowTest : public ::testing::Test {
  protected:
    WindowTest() { MessageLog::Get().Clear(); }
    ~WindowTest() override {
        for (HWND hwnd : made_)
            DestroyWindow(hwnd);
    }
    HWND Make(DWORD style = WS_POPUP, HWND parent = nullptr, RECT rect = {0, 0, 0, 0}) {
        HWND hwnd = MakeWindow(style, parent, rect);
        made_.push_back(hwnd);
        return hwnd;
    }
    Messages Log(HWND hwnd) { return MessageLog::Get().Of(hwnd); }
    void ClearLog() { MessageLog::Get().Clear(); }

  private:
    std::vector<HWND> made_;
};

TEST_F(WindowTest, CreationMessageOrders) {
    struct Row {
        const char* what;
        DWORD style;
        bool child;
        Messages expected;
    } rows[] = {
        {"top-level popup (WM_GETMINMAXINFO first)",
         WS_POPUP | WS_CLIPCHILDREN,
         false,
         {WM_GETMINMAXINFO, WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE, WM_SIZE, WM_MOVE}},
        {"child", WS_CHILD, true, {WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE, WM_SIZE, WM_MOVE}},
        {"visible child",
         WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN,
         true,
         {WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE, WM_SIZE, WM_MOVE, WM_SHOWWINDOW,
          WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED}},
    };
    HWND parent = Make();
    for (const Row& row : rows) {
        ClearLog();
        HWND hwnd = Make(row.style, row.child ? parent : nullptr);
        ASSERT_NE(hwnd, nullptr) << row.what;
        EXPECT_EQ(Log(hwnd), row.expected) << row.what;
        EXPECT_EQ(Log(parent), Messages{}) << row.what;
        EXPECT_FALSE(IsWindowVisible(hwnd)) << "the parent is hidden";
    }
}

// The framework's way: the object comes as creation parameter and is stored at WM_NCCREATE.
LRESULT CALLBACK StoringProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, 0, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    if (message == WM_GETMINMAXINFO) {
        // Nothing is attached yet.
        EXPECT_EQ(GetWindowLongPtrW(hwnd, 0), 0);
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

TEST_F(WindowTest, CreationParameterReachesNcCreate) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = StoringProc;
    wc.cbWndExtra = 8;
    wc.lpszClassName = u"StoringWindow";
    ASSERT_NE(RegisterClassExW(&wc), 0);
    int object = 0;
    HWND hwnd = CreateWindowExW(WS_EX_TOPMOST, u"StoringWindow", u"title", WS_POPUP, 0, 0, 0, 0,
                                nullptr, nullptr, nullptr, &object);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(GetWindowLongPtrW(hwnd, 0), reinterpret_cast<LONG_PTR>(&object));
    WCHAR title[16];
    EXPECT_EQ(GetWindowTextW(hwnd, title, 16), 5);
    EXPECT_EQ(std::u16string(title), u"title");
    DestroyWindow(hwnd);
}

TEST_F(WindowTest, ShowMoveAndHideMessageOrders) {
    HWND hwnd = Make();
    ClearLog();
    EXPECT_FALSE(ShowWindow(hwnd, SW_SHOWNA)) << "was hidden";
    EXPECT_EQ(Log(hwnd), (Messages{WM_SHOWWINDOW, WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED}));
    ClearLog();
    EXPECT_TRUE(ShowWindow(hwnd, SW_SHOWNA));
    EXPECT_EQ(Log(hwnd), Messages{}) << "already shown";

    struct Row {
        const char* what;
        RECT to;
        Messages expected;
    } moves[] = {
        {"move and size",
         {10, 20, 510, 330},
         {WM_WINDOWPOSCHANGING, WM_NCCALCSIZE, WM_WINDOWPOSCHANGED, WM_MOVE, WM_SIZE}},
        {"move only", {30, 40, 530, 350}, {WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED, WM_MOVE}},
        {"size only",
         {30, 40, 540, 360},
         {WM_WINDOWPOSCHANGING, WM_NCCALCSIZE, WM_WINDOWPOSCHANGED, WM_SIZE}},
        {"nothing changes", {30, 40, 540, 360}, {WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED}},
    };
    for (const Row& row : moves) {
        ClearLog();
        EXPECT_TRUE(MoveWindow(hwnd, row.to.left, row.to.top, row.to.right - row.to.left,
                               row.to.bottom - row.to.top, TRUE));
        EXPECT_EQ(Log(hwnd), row.expected) << row.what;
        RECT rect;
        GetWindowRect(hwnd, &rect);
        EXPECT_TRUE(EqualRect(&rect, &row.to)) << row.what;
    }
    RECT client;
    GetClientRect(hwnd, &client);
    EXPECT_EQ(client.right, 510);
    EXPECT_EQ(client.bottom, 320);

    ClearLog();
    EXPECT_TRUE(ShowWindow(hwnd, SW_HIDE));
    EXPECT_EQ(Log(hwnd), (Messages{WM_SHOWWINDOW, WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED}));
    EXPECT_FALSE(IsWindowVisible(hwnd));
}

TEST_F(WindowTest, DestructionOrderAndDeadHandles) {
    HWND parent = MakeWindow(WS_POPUP | WS_VISIBLE);
    HWND child = MakeWindow(WS_CHILD | WS_VISIBLE, parent);
    HWND grandchild = MakeWindow(WS_CHILD, child);
    ClearLog();
    EXPECT_TRUE(DestroyWindow(parent));
    std::vector<std::pair<HWND, UINT>> order;
    for (const Recorded& r : MessageLog::Get().All())
        order.emplace_back(r.hwnd, r.message);
    std::vector<std::pair<HWND, UINT>> expected{
        {parent, WM_WINDOWPOSCHANGING}, {parent, WM_WINDOWPOSCHANGED},
        {parent, WM_DESTROY},           {child, WM_DESTROY},
        {grandchild, WM_DESTROY},       {grandchild, WM_NCDESTROY},
        {child, WM_NCDESTROY},          {parent, WM_NCDESTROY}};
    EXPECT_EQ(order, expected);

    // Every call on a gone window fails cleanly with ERROR_INVALID_WINDOW_HANDLE.
    for (HWND dead : {parent, child, grandchild}) {
        struct Call {
            const char* what;
            std::function<LONG_PTR()> call;
        } calls[] = {
            {"PostMessageW", [&] { return PostMessageW(dead, WM_USER + 107, 0, 57); }},
            {"SendMessageW", [&] { return SendMessageW(dead, WM_SETICON, ICON_BIG, 0); }},
            {"GetWindowLongPtrW", [&] { return GetWindowLongPtrW(dead, 0); }},
            {"DestroyWindow", [&] { return DestroyWindow(dead); }},
            {"ShowWindow", [&] { return ShowWindow(dead, SW_HIDE); }},
            {"MoveWindow", [&] { return MoveWindow(dead, 0, 0, 1, 1, FALSE); }},
            {"InvalidateRect", [&] { return InvalidateRect(dead, nullptr, FALSE); }},
            {"GetParent", [&] { return reinterpret_cast<LONG_PTR>(GetParent(dead)); }},
        };
        EXPECT_FALSE(IsWindow(dead));
        for (const Call& c : calls) {
            SetLastError(kSentinel);
            EXPECT_EQ(c.call(), 0) << c.what;
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE)) << c.what;
        }
    }

    // Handle values are never handed out again.
    std::set<HWND> seen{parent, child, grandchild};
    for (int i = 0; i < 50; ++i) {
        HWND hwnd = MakeWindow();
        EXPECT_TRUE(seen.insert(hwnd).second);
        DestroyWindow(hwnd);
    }
}

TEST_F(WindowTest, CloseCommandDestroysTheWindow) {
    HWND hwnd = MakeWindow(WS_POPUP | WS_VISIBLE);
    ClearLog();
    SendMessageW(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_FALSE(IsWindow(hwnd));
    Messages log = Log(hwnd);
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[0], static_cast<UINT>(WM_SYSCOMMAND));
    EXPECT_EQ(log[1], static_cast<UINT>(WM_CLOSE));
    EXPECT_EQ(log.back(), static_cast<UINT>(WM_NCDESTROY));
}

int refuseAt = 0;  // 1: WM_NCCREATE answers FALSE; 2: WM_CREATE answers -1

LRESULT CALLBACK RefusingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    MessageLog::Get().Add(hwnd, message, wParam);
    if (message == WM_NCCREATE)
        return refuseAt == 1 ? FALSE : DefWindowProcW(hwnd, message, wParam, lParam);
    if (message == WM_CREATE)
        return refuseAt == 2 ? -1 : 0;
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

TEST_F(WindowTest, RefusedCreation) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = RefusingProc;
    wc.lpszClassName = u"RefusingWindow";
    ASSERT_NE(RegisterClassExW(&wc), 0);
    struct Row {
        int refuse;
        Messages expected;
    } rows[] = {
        {1, {WM_GETMINMAXINFO, WM_NCCREATE, WM_NCDESTROY}},
        {2, {WM_GETMINMAXINFO, WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE, WM_DESTROY, WM_NCDESTROY}},
    };
    for (const Row& row : rows) {
        ClearLog();
        refuseAt = row.refuse;
        EXPECT_EQ(CreateWindowExW(0, u"RefusingWindow", nullptr, WS_POPUP, 0, 0, 0, 0, nullptr,
                                  nullptr, nullptr, nullptr),
                  nullptr);
        EXPECT_EQ(Log(nullptr), row.expected) << row.refuse;
    }
    refuseAt = 0;
}

TEST_F(WindowTest, ParentsOwnersAndCoordinates) {
    HWND popup = Make(WS_POPUP, nullptr, {100, 50, 600, 360});
    HWND child = Make(WS_CHILD, popup, {34, 260, 468, 275});
    HWND owned = Make(WS_POPUP, child);
    HWND overlapped = Make(WS_OVERLAPPED, popup);
    EXPECT_EQ(GetParent(child), popup);
    EXPECT_EQ(GetParent(owned), popup) << "a popup's parent is its top-level owner";
    EXPECT_EQ(GetParent(overlapped), nullptr);
    EXPECT_EQ(GetParent(popup), nullptr);
    EXPECT_TRUE(IsChild(popup, child));
    EXPECT_FALSE(IsChild(popup, owned));

    RECT rect;
    GetWindowRect(child, &rect);
    RECT expected{134, 310, 568, 325};
    EXPECT_TRUE(EqualRect(&rect, &expected));
    POINT pt{140, 320};
    ScreenToClient(child, &pt);
    EXPECT_EQ(pt.x, 6);
    EXPECT_EQ(pt.y, 10);
    ClientToScreen(popup, &pt);
    EXPECT_EQ(pt.x, 106);
    EXPECT_EQ(pt.y, 60);
}

TEST_F(WindowTest, WindowText) {
    HWND hwnd = Make();
    ClearLog();
    EXPECT_TRUE(SetWindowTextW(hwnd, u"\u8fdc\u5e06"));
    EXPECT_EQ(Log(hwnd), Messages{WM_SETTEXT});
    WCHAR buffer[8];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    EXPECT_EQ(GetWindowTextW(hwnd, buffer, 2), 1) << "one character and the terminator";
    EXPECT_EQ(buffer[0], u'\u8fdc');
    EXPECT_EQ(buffer[1], 0);
    EXPECT_EQ(GetWindowTextLengthW(hwnd), 2);
}

}  // namespace
