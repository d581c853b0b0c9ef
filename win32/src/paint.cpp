// Painting: windows that are shown or invalidated need painting; WM_PAINT comes from the queue
// (or at once from UpdateWindow) until BeginPaint validates the window.
#include "device_context.h"
#include "window.h"

namespace w95 {

namespace {

void Invalidate(Window& window, bool erase) {
    window.needs_paint = true;
    window.erase_background = window.erase_background || erase;
}

}  // namespace

}  // namespace w95

extern "C" HDC WINAPI BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint) {
    auto window = w95::WindowOrFail(hWnd);
    if (!window || !lpPaint)
        return nullptr;
    HDC dc = static_cast<HDC>(w95::AddHandle(std::make_shared<w95::DeviceContext>(hWnd)));
    *lpPaint = PAINTSTRUCT{};
    lpPaint->hdc = dc;
    GetClientRect(hWnd, &lpPaint->rcPaint);
    bool erase = window->erase_background;
    window->needs_paint = false;
    window->erase_background = false;
    if (erase)
        lpPaint->fErase =
            w95::Send(hWnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc)) ? FALSE : TRUE;
    return dc;
}

extern "C" BOOL WINAPI EndPaint(HWND, const PAINTSTRUCT* lpPaint) {
    if (!lpPaint || !lpPaint->hdc)
        return FALSE;
    if (!w95::LookupHandleAs<w95::DeviceContext>(lpPaint->hdc))
        return w95::Fail(ERROR_INVALID_HANDLE, FALSE);
    w95::CloseKernelHandle(lpPaint->hdc);
    return TRUE;
}

extern "C" BOOL WINAPI InvalidateRect(HWND hWnd, const RECT*, BOOL bErase) {
    if (!hWnd) {
        // NULL: every window of the thread, as after a change of the whole screen.
        for (const auto& window : w95::ThreadWindows())
            w95::Invalidate(*window, bErase != FALSE);
        return TRUE;
    }
    auto window = w95::WindowOrFail(hWnd);
    if (!window)
        return FALSE;
    w95::Invalidate(*window, bErase != FALSE);
    return TRUE;
}

extern "C" BOOL WINAPI ValidateRect(HWND hWnd, const RECT*) {
    auto window = w95::WindowOrFail(hWnd);
    if (!window)
        return FALSE;
    window->needs_paint = false;
    window->erase_background = false;
    return TRUE;
}

extern "C" BOOL WINAPI UpdateWindow(HWND hWnd) {
    auto window = w95::WindowOrFail(hWnd);
    if (!window)
        return FALSE;
    if (window->needs_paint && w95::IsVisibleOnScreen(*window))
        w95::Send(hWnd, WM_PAINT);
    return TRUE;
}
