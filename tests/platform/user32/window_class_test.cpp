#include <windows.h>

#include <gtest/gtest.h>

#include "window_test_support.h"

namespace {

using namespace windowtest;

constexpr DWORD kSentinel = 0xDEADBEEF;

LRESULT CALLBACK PlainProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

WNDCLASSEXW ClassNamed(LPCWSTR name, int classExtra = 0, int windowExtra = 0) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = PlainProc;
    wc.cbClsExtra = classExtra;
    wc.cbWndExtra = windowExtra;
    wc.lpszClassName = name;
    return wc;
}

TEST(WindowClass, RegistrationRules) {
    HINSTANCE other = reinterpret_cast<HINSTANCE>(0x5000);
    struct Row {
        const char* what;
        WNDCLASSEXW wc;
        bool succeeds;
        DWORD error;
    } rows[] = {
        {"first registration", ClassNamed(u"RulesClass"), true, kSentinel},
        {"same name again", ClassNamed(u"RulesClass"), false, ERROR_CLASS_ALREADY_EXISTS},
        {"same name in another case", ClassNamed(u"rulesCLASS"), false, ERROR_CLASS_ALREADY_EXISTS},
        {"negative window extra", ClassNamed(u"Negative", 0, -1), false, ERROR_INVALID_PARAMETER},
        {"no name", ClassNamed(nullptr), false, ERROR_INVALID_PARAMETER},
    };
    for (Row& row : rows) {
        SetLastError(kSentinel);
        ATOM atom = RegisterClassExW(&row.wc);
        EXPECT_EQ(atom != 0, row.succeeds) << row.what;
        EXPECT_EQ(GetLastError(), row.error) << row.what;
    }
    WNDCLASSEXW wrongSize = ClassNamed(u"WrongSize");
    wrongSize.cbSize = sizeof wrongSize - 8;
    SetLastError(kSentinel);
    EXPECT_EQ(RegisterClassExW(&wrongSize), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    // Another module may use the same name; the two classes are distinct but share the atom.
    WNDCLASSEXW elsewhere = ClassNamed(u"RulesClass");
    elsewhere.hInstance = other;
    ATOM otherAtom = RegisterClassExW(&elsewhere);
    EXPECT_NE(otherAtom, 0);
    WNDCLASSEXW info{};
    info.cbSize = sizeof info;
    EXPECT_EQ(GetClassInfoExW(nullptr, u"RULESCLASS", &info), otherAtom);
    EXPECT_EQ(info.hInstance, nullptr);
}

TEST(WindowClass, ClassDataAndBackgroundBrush) {
    WNDCLASSEXW wc = ClassNamed(u"BrushClass", 16, 0);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(0x1234);
    ASSERT_NE(RegisterClassExW(&wc), 0);
    HWND first = CreateWindowExW(0, u"BrushClass", nullptr, WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                 nullptr, nullptr);
    HWND second = CreateWindowExW(0, u"brushclass", nullptr, WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                  nullptr, nullptr);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);

    EXPECT_EQ(GetClassLongPtrW(first, GCLP_HBRBACKGROUND), 0x1234u);
    EXPECT_EQ(SetClassLongPtrW(first, GCLP_HBRBACKGROUND, 0), 0x1234u);
    EXPECT_EQ(GetClassLongPtrW(second, GCLP_HBRBACKGROUND), 0u) << "one class, shared";

    struct Row {
        int index;
        bool fits;
    } rows[] = {{0, true}, {8, true}, {9, false}, {16, false}, {-100, false}};
    for (const Row& row : rows) {
        SetLastError(kSentinel);
        ULONG_PTR previous = SetClassLongPtrW(first, row.index, 0x77);
        EXPECT_EQ(previous, 0u) << row.index;
        EXPECT_EQ(GetLastError(), row.fits ? kSentinel : ERROR_INVALID_INDEX) << row.index;
        EXPECT_EQ(GetClassLongPtrW(second, row.index), row.fits ? 0x77u : 0u) << row.index;
    }

    // Without a window (no owner in the modal window) there is no class to read.
    SetLastError(kSentinel);
    EXPECT_EQ(GetClassLongPtrW(nullptr, GCLP_HBRBACKGROUND), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));

    EXPECT_FALSE(UnregisterClassW(u"BrushClass", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_HAS_WINDOWS));
    DestroyWindow(first);
    DestroyWindow(second);
    EXPECT_TRUE(UnregisterClassW(u"BrushClass", nullptr));
    EXPECT_EQ(CreateWindowExW(0, u"BrushClass", nullptr, WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                              nullptr, nullptr),
              nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
}

TEST(WindowClass, WindowExtraBytesAndData) {
    HWND hwnd = MakeWindow();
    ASSERT_NE(hwnd, nullptr);
    struct Row {
        int index;
        LONG_PTR value;
        DWORD error;  // kSentinel: the call succeeds and leaves the last error alone
    } rows[] = {
        {0, 0x1122334455667788, kSentinel},
        {1, 0, ERROR_INVALID_INDEX},  // 8 extra bytes: a pointer fits only at 0
        {8, 0, ERROR_INVALID_INDEX},
        {-1, 0, ERROR_INVALID_INDEX},
        {GWLP_USERDATA, 42, kSentinel},
        {GWLP_ID, 7, kSentinel},
    };
    for (const Row& row : rows) {
        SetLastError(kSentinel);
        EXPECT_EQ(SetWindowLongPtrW(hwnd, row.index, row.value), 0) << row.index;
        EXPECT_EQ(GetLastError(), row.error) << row.index;
        SetLastError(kSentinel);
        EXPECT_EQ(GetWindowLongPtrW(hwnd, row.index), row.value) << row.index;
        EXPECT_EQ(GetLastError(), row.error) << row.index;
    }
    EXPECT_EQ(SetWindowLongPtrW(hwnd, 0, 5), 0x1122334455667788);
    EXPECT_EQ(GetWindowLongW(hwnd, 4), 0) << "the upper half of the value at 0 is now 0";
    EXPECT_EQ(GetWindowLongPtrW(hwnd, GWL_STYLE), static_cast<LONG>(WS_POPUP));
    EXPECT_EQ(GetWindowLongPtrW(hwnd, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(RecordingProc));
    DestroyWindow(hwnd);
}

// FindWindowW names a class as RegisterClassExW keys it: by text in any case, or by its atom.
TEST(WindowClass, FindWindowByClassNameOrAtom) {
    WNDCLASSEXW wc = ClassNamed(u"FindableClass");
    ATOM atom = RegisterClassExW(&wc);
    ASSERT_NE(atom, 0);
    HWND hwnd = CreateWindowExW(0, u"FindableClass", u"Findable title", WS_POPUP, 0, 0, 0, 0,
                                nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(FindWindowW(u"findableCLASS", nullptr), hwnd);
    EXPECT_EQ(FindWindowW(MAKEINTATOM(atom), u"Findable title"), hwnd);
    EXPECT_EQ(FindWindowW(nullptr, u"Findable title"), hwnd);
    EXPECT_EQ(FindWindowW(u"FindableClass", u"another title"), nullptr);
    EXPECT_EQ(FindWindowW(u"FindableClas", nullptr), nullptr);
    EXPECT_EQ(FindWindowW(MAKEINTATOM(atom + 1), nullptr), nullptr);
    DestroyWindow(hwnd);
    EXPECT_EQ(FindWindowW(u"FindableClass", nullptr), nullptr);
    EXPECT_TRUE(UnregisterClassW(u"FindableClass", nullptr));
}

}  // namespace
