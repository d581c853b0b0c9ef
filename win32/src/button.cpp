// The BUTTON class: push buttons, check boxes, radio buttons and group boxes. A click is a press
// and a release (mouse button or space bar) and tells the parent BN_CLICKED; automatic check
// boxes and radio buttons change their own state first.
#include "window.h"

#include <algorithm>

namespace w95 {

namespace {

struct ButtonData : WindowExtension {
    UINT check = BST_UNCHECKED;
    bool pushed = false;
    bool focused = false;
};

ButtonData& Data(Window& window) {
    if (!window.As<ButtonData>())
        window.extension = std::make_unique<ButtonData>();
    return *window.As<ButtonData>();
}

DWORD Type(const Window& window) {
    return window.style & BS_TYPEMASK;
}

bool IsCheckable(DWORD type) {
    switch (type) {
        case BS_CHECKBOX:
        case BS_AUTOCHECKBOX:
        case BS_RADIOBUTTON:
        case BS_3STATE:
        case BS_AUTO3STATE:
        case BS_AUTORADIOBUTTON:
            return true;
        default:
            return false;
    }
}

// An automatic radio button clears the others of its group: the siblings from the last
// WS_GROUP control up to the next one.
void ClearRadioGroup(const Window& button) {
    auto parent = FindWindowObject(button.parent);
    if (!parent)
        return;
    const auto& siblings = parent->children;
    auto here = std::find(siblings.begin(), siblings.end(), button.handle);
    if (here == siblings.end())
        return;
    auto first = here;
    while (first != siblings.begin()) {
        auto window = FindWindowObject(*first);
        if (window && (window->style & WS_GROUP))
            break;
        --first;
    }
    for (auto it = first; it != siblings.end(); ++it) {
        auto other = FindWindowObject(*it);
        if (!other)
            continue;
        if (it != first && (other->style & WS_GROUP))
            break;
        if (other->handle != button.handle && other->window_class->name == "BUTTON" &&
            Type(*other) == BS_AUTORADIOBUTTON)
            Data(*other).check = BST_UNCHECKED;
    }
}

void Click(Window& window) {
    auto& data = Data(window);
    switch (Type(window)) {
        case BS_AUTOCHECKBOX:
            data.check = data.check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
            break;
        case BS_AUTO3STATE:
            data.check = (data.check + 1) % 3;
            break;
        case BS_AUTORADIOBUTTON:
            ClearRadioGroup(window);
            data.check = BST_CHECKED;
            break;
        default:
            break;
    }
    NotifyParent(window, BN_CLICKED);
}

}  // namespace

int ButtonCheckState(const Window& button) {
    auto* data = button.As<ButtonData>();
    return data ? static_cast<int>(data->check) : 0;
}

LRESULT CALLBACK ButtonProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    auto window = FindWindowObject(hwnd);
    if (!window)
        return 0;
    auto& data = Data(*window);
    DWORD type = Type(*window);
    switch (message) {
        case WM_GETDLGCODE:
            if (type == BS_GROUPBOX)
                return DLGC_STATIC;
            if (type == BS_PUSHBUTTON)
                return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
            if (type == BS_DEFPUSHBUTTON)
                return DLGC_BUTTON | DLGC_DEFPUSHBUTTON;
            if (type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON)
                return DLGC_BUTTON | DLGC_RADIOBUTTON;
            return DLGC_BUTTON;
        case BM_GETCHECK:
            return IsCheckable(type) ? data.check : BST_UNCHECKED;
        case BM_SETCHECK:
            if (IsCheckable(type)) {
                UINT check = static_cast<UINT>(wparam);
                bool three_state = type == BS_3STATE || type == BS_AUTO3STATE;
                data.check = check == BST_INDETERMINATE && !three_state ? BST_CHECKED
                                                                        : (check > 2 ? 0 : check);
            }
            return 0;
        case BM_GETSTATE:
            return (IsCheckable(type) ? data.check : 0) | (data.pushed ? BST_PUSHED : 0) |
                   (data.focused ? BST_FOCUS : 0);
        case BM_SETSTATE:
            data.pushed = wparam != 0;
            return 0;
        case BM_SETSTYLE:
            window->style = (window->style & ~0xFFFFu) | LOWORD(wparam);
            return 0;
        case BM_CLICK:
            Send(hwnd, WM_LBUTTONDOWN);
            Send(hwnd, WM_LBUTTONUP);
            return 0;
        case WM_LBUTTONDOWN:
            if (type == BS_GROUPBOX)
                return 0;
            SetFocus(hwnd);
            if (auto still = FindWindowObject(hwnd))
                Data(*still).pushed = true;
            return 0;
        case WM_LBUTTONUP:
        case WM_KEYUP:
            if (message == WM_KEYUP && wparam != VK_SPACE)
                return 0;
            if (data.pushed) {
                data.pushed = false;
                Click(*window);
            }
            return 0;
        case WM_KEYDOWN:
            if (wparam == VK_SPACE && type != BS_GROUPBOX)
                data.pushed = true;
            return 0;
        case WM_SETFOCUS:
            data.focused = true;
            if (window->style & BS_NOTIFY)
                NotifyParent(*window, BN_SETFOCUS);
            return 0;
        case WM_KILLFOCUS:
            data.focused = false;
            data.pushed = false;
            if (window->style & BS_NOTIFY)
                NotifyParent(*window, BN_KILLFOCUS);
            return 0;
        default:
            return DefWindowProcA(hwnd, message, wparam, lparam);
    }
}

}  // namespace w95
