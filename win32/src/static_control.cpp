// The STATIC class: labels, which show their text and take no input.
#include "window.h"

namespace w95 {

LRESULT CALLBACK StaticProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_GETDLGCODE:
            return DLGC_STATIC;
        case WM_NCHITTEST:
            return -1;  // transparent to the mouse
        default:
            return DefWindowProcA(hwnd, message, wparam, lparam);
    }
}

}  // namespace w95
