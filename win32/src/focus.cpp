// The keyboard focus and the active window of each thread.
#include "window.h"

namespace w95 {

ThreadUi& ThisThreadUi() {
    thread_local ThreadUi ui;
    return ui;
}

void ActivateWindow(HWND hwnd) {
    auto& ui = ThisThreadUi();
    HWND old = ui.active;
    if (old == hwnd)
        return;
    ui.active = hwnd;
    if (old && IsWindow(old))
        Send(old, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(hwnd));
    auto window = FindWindowObject(hwnd);
    if (!window)
        return;
    if (window->minimized) {
        // A minimised active window has no focus, as on Windows.
        SetFocus(nullptr);
    }
    Send(hwnd, WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, window->minimized ? 1 : 0),
         reinterpret_cast<LPARAM>(old));
}

void SetActiveWindowOfThread(HWND hwnd) {
    ThisThreadUi().active = hwnd;
}

}  // namespace w95

extern "C" HWND WINAPI SetFocus(HWND hWnd) {
    auto& ui = w95::ThisThreadUi();
    HWND old = ui.focus;
    if (!hWnd) {
        ui.focus = nullptr;
        if (old && IsWindow(old))
            w95::Send(old, WM_KILLFOCUS, 0);
        return old;
    }
    auto window = w95::WindowOrFail(hWnd);
    if (!window || window->destroying)
        return nullptr;
    if (window->thread != std::this_thread::get_id() || (window->style & WS_DISABLED))
        return nullptr;
    if (old == hWnd)
        return old;

    // Focus inside another top-level window activates that window first.
    HWND top = w95::TopLevelOf(hWnd);
    auto top_window = w95::FindWindowObject(top);
    if (top != ui.active && top_window && w95::IsVisibleOnScreen(*top_window)) {
        w95::ActivateWindow(top);
        if (ui.focus == hWnd)
            return old;
    }
    old = ui.focus;
    ui.focus = hWnd;
    if (old && IsWindow(old))
        w95::Send(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hWnd));
    if (ui.focus != hWnd)
        return old;  // the old window's handler moved the focus on
    // Each enclosing dialog remembers which of its controls holds the focus.
    for (auto parent = w95::FindWindowObject(window->parent); parent;
         parent = w95::FindWindowObject(parent->parent)) {
        if (w95::IsDialogWindow(*parent))
            w95::SetDialogFocusMemory(parent->handle, w95::DialogControlOf(parent->handle, hWnd));
    }
    w95::Send(hWnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(old));
    return old;
}

extern "C" HWND WINAPI GetFocus(void) {
    HWND focus = w95::ThisThreadUi().focus;
    return IsWindow(focus) ? focus : nullptr;
}

extern "C" HWND WINAPI GetActiveWindow(void) {
    HWND active = w95::ThisThreadUi().active;
    return IsWindow(active) ? active : nullptr;
}
