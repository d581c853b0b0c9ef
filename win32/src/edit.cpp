// The EDIT class, single-line: typed characters go to the end of the text, backspace takes the
// last one away; every change tells the parent EN_CHANGE.
#include "window.h"

namespace w95 {

namespace {

struct EditData : WindowExtension {
    size_t limit = 30000;  // Windows 95's limit for a single-line edit control
    DWORD selection_start = 0;
    DWORD selection_end = 0;
};

EditData& Data(Window& window) {
    if (!window.As<EditData>())
        window.extension = std::make_unique<EditData>();
    return *window.As<EditData>();
}

void Changed(const Window& window) {
    NotifyParent(window, EN_UPDATE);
    NotifyParent(window, EN_CHANGE);
}

}  // namespace

LRESULT CALLBACK EditProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    auto window = FindWindowObject(hwnd);
    if (!window)
        return 0;
    auto& data = Data(*window);
    switch (message) {
        case WM_GETDLGCODE:
            return DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
        case WM_SETTEXT:
            DefWindowProcA(hwnd, message, wparam, lparam);
            Changed(*window);
            return TRUE;
        case WM_CHAR: {
            if (window->style & ES_READONLY)
                return 0;
            char c = static_cast<char>(wparam);
            if (c == '\b') {
                if (window->text.empty())
                    return 0;
                window->text.pop_back();
            } else if (static_cast<unsigned char>(c) >= 0x20) {
                if (window->text.size() >= data.limit) {
                    NotifyParent(*window, EN_MAXTEXT);
                    return 0;
                }
                window->text += c;
            } else {
                return 0;
            }
            Changed(*window);
            return 0;
        }
        case EM_LIMITTEXT:
            data.limit = wparam ? static_cast<size_t>(wparam) : 0x7FFFFFFE;
            return 0;
        case EM_SETSEL:
            data.selection_start = static_cast<DWORD>(wparam);
            data.selection_end = static_cast<DWORD>(lparam);
            return 0;
        case EM_GETSEL:
            return MAKELRESULT(data.selection_start, data.selection_end);
        case WM_SETFOCUS:
            NotifyParent(*window, EN_SETFOCUS);
            return 0;
        case WM_KILLFOCUS:
            NotifyParent(*window, EN_KILLFOCUS);
            return 0;
        default:
            return DefWindowProcA(hwnd, message, wparam, lparam);
    }
}

}  // namespace w95
