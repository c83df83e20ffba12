#include "ui/ix_frm.h"

HWND TIxFrm::Create(LPCWSTR className, HWND parent, DWORD style, DWORD exStyle) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(WNDCLASSEXW);
    windowClass.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
    windowClass.lpfnWndProc = FrameWndProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = sizeof(TIxFrm*);
    windowClass.hInstance = instance;
    windowClass.hIcon = nullptr;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = nullptr;
    windowClass.lpszMenuName = nullptr;
    windowClass.lpszClassName = className;
    windowClass.hIconSm = nullptr;
    RegisterClassExW(&windowClass);  // fails harmlessly when the class exists already
    return CreateWindowExW(exStyle, className, nullptr, style, 0, 0, 0, 0, parent, nullptr,
                           instance, this);
}

LRESULT CALLBACK FrameWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    TIxFrm* object = nullptr;
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        object = static_cast<TIxFrm*>(create->lpCreateParams);
        if (object != nullptr)
            object->hwnd = window;
        SetWindowLongPtrW(window, 0, reinterpret_cast<LONG_PTR>(object));
    } else {
        object = reinterpret_cast<TIxFrm*>(GetWindowLongPtrW(window, 0));
    }
    LRESULT result = kNotHandled;
    if (object != nullptr)
        result = object->HandleMessage(message, wParam, lParam);
    if (result == kNotHandled)
        result = DefWindowProcW(window, message, wParam, lParam);
    // The window is gone: its last message detaches the object, so nothing reaches the object
    // through a stale pointer afterwards.
    if (message == WM_NCDESTROY)
        SetWindowLongPtrW(window, 0, 0);
    return result;
}
