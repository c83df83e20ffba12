// The base of every window object of the installer and the one window procedure of the classes
// it registers: from WM_NCCREATE on, a window's messages reach its object's HandleMessage.
#pragma once

#include <windows.h>

// What HandleMessage answers for a message it leaves to the default window procedure.
inline constexpr LRESULT kNotHandled = -1;

class TIxFrm {
  public:
    HWND hwnd = nullptr;  // set by FrameWndProc at WM_NCCREATE

    // The object's answer to a message, or kNotHandled for DefWindowProcW's.
    virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;

    // Registers the class `className` (again at every call; a registration refused because the
    // class exists is ignored) and creates a window of it at (0, 0), 0 × 0, with this object as
    // creation parameter. Returns CreateWindowExW's result.
    HWND Create(LPCWSTR className, HWND parent, DWORD style, DWORD exStyle);

  protected:
    TIxFrm() = default;
    // Not virtual: every object is destroyed through its own type.
    ~TIxFrm() = default;
    TIxFrm(const TIxFrm&) = delete;
    TIxFrm& operator=(const TIxFrm&) = delete;
};

// The window procedure of every framework class: the object pointer lives in the window's extra
// bytes at offset 0 from WM_NCCREATE until WM_NCDESTROY.
LRESULT CALLBACK FrameWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
