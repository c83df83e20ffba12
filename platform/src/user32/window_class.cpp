// Window classes: RegisterClassExW and the class data of GetClassLongPtrW/SetClassLongPtrW.
// Classes are keyed by instance and name, the name compared without case, as Windows keys
// application classes.
#include "user32/window_object.h"

#include "user32/extra_bytes.h"

#include <algorithm>
#include <map>

namespace winlayer {
namespace {

char16_t Fold(char16_t c) {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

std::u16string FoldedName(std::u16string_view name) {
    std::u16string folded(name);
    std::transform(folded.begin(), folded.end(), folded.begin(), Fold);
    return folded;
}

struct ClassTable {
    std::vector<std::shared_ptr<WindowClass>> classes;
    std::map<std::u16string, ATOM> atoms;  // folded name → atom, shared by every instance
    ATOM nextAtom = 0xC000;

    ATOM AtomOf(const std::u16string& folded) {
        auto [it, added] = atoms.emplace(folded, nextAtom);
        if (added)
            ++nextAtom;
        return it->second;
    }
};

ClassTable& Classes() {
    static ClassTable table;
    return table;
}

// Lock held. A class of the instance first, then one of any instance, as Windows finds a
// process's classes whatever module asks.
std::shared_ptr<WindowClass> FindLocked(HINSTANCE instance, LPCWSTR name) {
    if (name == nullptr)
        return nullptr;
    std::shared_ptr<WindowClass> anyInstance;
    for (const auto& cls : Classes().classes) {
        if (!ClassNameMatches(*cls, name))
            continue;
        if (cls->instance == instance)
            return cls;
        if (!anyInstance)
            anyInstance = cls;
    }
    return anyInstance;
}

}  // namespace

bool ClassNameMatches(const WindowClass& cls, LPCWSTR name) {
    if (IsAtomName(name))
        return cls.atom == static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(name));
    return FoldedName(cls.name) == FoldedName(name);
}

std::shared_ptr<WindowClass> FindWindowClass(HINSTANCE instance, LPCWSTR name) {
    std::lock_guard lock(WindowLock());
    return FindLocked(instance, name);
}

}  // namespace winlayer

using namespace winlayer;

ATOM WINAPI RegisterClassExW(const WNDCLASSEXW* wc) {
    if (wc == nullptr || wc->cbSize != sizeof(WNDCLASSEXW) || wc->lpszClassName == nullptr ||
        wc->cbClsExtra < 0 || wc->cbWndExtra < 0 || wc->lpfnWndProc == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (IsAtomName(wc->lpszClassName) || wc->lpszClassName[0] == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::lock_guard lock(WindowLock());
    ClassTable& table = Classes();
    std::u16string folded = FoldedName(wc->lpszClassName);
    for (const auto& cls : table.classes) {
        if (cls->instance == wc->hInstance && FoldedName(cls->name) == folded) {
            SetLastError(ERROR_CLASS_ALREADY_EXISTS);
            return 0;
        }
    }
    auto cls = std::make_shared<WindowClass>();
    cls->name = wc->lpszClassName;
    cls->atom = table.AtomOf(folded);
    cls->instance = wc->hInstance;
    cls->style = wc->style;
    cls->procedure = wc->lpfnWndProc;
    cls->windowExtra = wc->cbWndExtra;
    cls->extra.assign(static_cast<size_t>(wc->cbClsExtra), 0);
    cls->icon = wc->hIcon;
    cls->smallIcon = wc->hIconSm;
    cls->cursor = wc->hCursor;
    cls->background = wc->hbrBackground;
    cls->menuName = reinterpret_cast<ULONG_PTR>(wc->lpszMenuName);
    table.classes.push_back(cls);
    return cls->atom;
}

BOOL WINAPI UnregisterClassW(LPCWSTR className, HINSTANCE instance) {
    std::lock_guard lock(WindowLock());
    auto& classes = Classes().classes;
    std::shared_ptr<WindowClass> cls = FindLocked(instance, className);
    if (!cls || cls->instance != instance) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    if (cls->windows > 0) {
        SetLastError(ERROR_CLASS_HAS_WINDOWS);
        return FALSE;
    }
    cls->registered = false;
    classes.erase(std::find(classes.begin(), classes.end(), cls));
    return TRUE;
}

BOOL WINAPI GetClassInfoExW(HINSTANCE instance, LPCWSTR className, LPWNDCLASSEXW wc) {
    if (wc == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard lock(WindowLock());
    std::shared_ptr<WindowClass> cls = FindLocked(instance, className);
    if (!cls) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    wc->style = cls->style;
    wc->lpfnWndProc = cls->procedure;
    wc->cbClsExtra = static_cast<int>(cls->extra.size());
    wc->cbWndExtra = cls->windowExtra;
    wc->hInstance = cls->instance;
    wc->hIcon = cls->icon;
    wc->hCursor = cls->cursor;
    wc->hbrBackground = cls->background;
    wc->lpszMenuName = reinterpret_cast<LPCWSTR>(cls->menuName);
    wc->lpszClassName = className;
    wc->hIconSm = cls->smallIcon;
    return cls->atom;
}

ULONG_PTR WINAPI GetClassLongPtrW(HWND hwnd, int index) {
    std::lock_guard lock(WindowLock());
    Window* window = WindowOrErrorLocked(hwnd);
    if (window == nullptr)
        return 0;
    const WindowClass& cls = *window->windowClass;
    if (index >= 0) {
        ULONG_PTR value = 0;
        return ReadExtra(cls.extra, index, &value) ? value : 0;
    }
    switch (index) {
        case GCLP_HBRBACKGROUND:
            return reinterpret_cast<ULONG_PTR>(cls.background);
        case GCLP_HCURSOR:
            return reinterpret_cast<ULONG_PTR>(cls.cursor);
        case GCLP_HICON:
            return reinterpret_cast<ULONG_PTR>(cls.icon);
        case GCLP_HICONSM:
            return reinterpret_cast<ULONG_PTR>(cls.smallIcon);
        case GCLP_HMODULE:
            return reinterpret_cast<ULONG_PTR>(cls.instance);
        case GCLP_WNDPROC:
            return reinterpret_cast<ULONG_PTR>(cls.procedure);
        case GCLP_MENUNAME:
            return cls.menuName;
        case GCL_STYLE:
            return cls.style;
        case GCL_CBWNDEXTRA:
            return static_cast<ULONG_PTR>(cls.windowExtra);
        case GCL_CBCLSEXTRA:
            return cls.extra.size();
        case GCW_ATOM:
            return cls.atom;
        default:
            SetLastError(ERROR_INVALID_INDEX);
            return 0;
    }
}

ULONG_PTR WINAPI SetClassLongPtrW(HWND hwnd, int index, LONG_PTR value) {
    std::lock_guard lock(WindowLock());
    Window* window = WindowOrErrorLocked(hwnd);
    if (window == nullptr)
        return 0;
    WindowClass& cls = *window->windowClass;
    auto swap = [value](auto& field) {
        ULONG_PTR previous = (ULONG_PTR)(field);
        field = (std::remove_reference_t<decltype(field)>)(value);
        return previous;
    };
    if (index >= 0) {
        ULONG_PTR previous = 0;
        return SwapExtra(cls.extra, index, static_cast<ULONG_PTR>(value), &previous) ? previous : 0;
    }
    switch (index) {
        case GCLP_HBRBACKGROUND:
            return swap(cls.background);
        case GCLP_HCURSOR:
            return swap(cls.cursor);
        case GCLP_HICON:
            return swap(cls.icon);
        case GCLP_HICONSM:
            return swap(cls.smallIcon);
        case GCLP_HMODULE:
            return swap(cls.instance);
        case GCLP_WNDPROC:
            return swap(cls.procedure);
        case GCLP_MENUNAME:
            return swap(cls.menuName);
        case GCL_STYLE:
            return swap(cls.style);
        default:
            // The extra byte counts and the atom are fixed at registration.
            SetLastError(ERROR_INVALID_INDEX);
            return 0;
    }
}

int WINAPI GetClassNameW(HWND hwnd, LPWSTR buffer, int bufferMax) {
    std::lock_guard lock(WindowLock());
    Window* window = WindowOrErrorLocked(hwnd);
    if (window == nullptr)
        return 0;
    if (buffer == nullptr || bufferMax <= 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    const std::u16string& name = window->windowClass->name;
    size_t count = std::min(name.size(), static_cast<size_t>(bufferMax - 1));
    std::copy_n(name.begin(), count, buffer);
    buffer[count] = 0;
    return static_cast<int>(count);
}
