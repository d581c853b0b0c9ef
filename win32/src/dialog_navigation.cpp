// The dialog manager's keyboard: Tab moves among the tab stops, Enter presses the focused push
// button or the default one (IDOK when there is none), Esc is IDCANCEL.
#include "window.h"

#include <algorithm>

namespace w95 {

namespace {

bool IsTabStop(const Window& control) {
    return (control.style & WS_TABSTOP) && (control.style & WS_VISIBLE) &&
           !(control.style & WS_DISABLED);
}

void Command(HWND dialog, int id, HWND control) {
    Send(dialog, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), BN_CLICKED),
         reinterpret_cast<LPARAM>(control));
}

void PressEnter(HWND dialog, HWND focus_control) {
    if (focus_control) {
        auto code = Send(focus_control, WM_GETDLGCODE);
        if ((code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) &&
            IsWindowEnabled(focus_control)) {
            Command(dialog, GetDlgCtrlID(focus_control), focus_control);
            return;
        }
    }
    LRESULT default_id = Send(dialog, DM_GETDEFID);
    if (HIWORD(default_id) == DC_HASDEFID) {
        HWND button = GetDlgItem(dialog, LOWORD(default_id));
        if (button && IsWindowEnabled(button)) {
            Command(dialog, LOWORD(default_id), button);
            return;
        }
        if (button)
            return;  // a disabled default button swallows Enter
    }
    Command(dialog, IDOK, GetDlgItem(dialog, IDOK));
}

}  // namespace

}  // namespace w95

extern "C" HWND WINAPI GetNextDlgTabItem(HWND hDlg, HWND hCtl, BOOL bPrevious) {
    auto dialog = w95::WindowOrFail(hDlg);
    if (!dialog)
        return nullptr;
    std::vector<HWND> stops;
    for (HWND child : dialog->children) {
        auto control = w95::FindWindowObject(child);
        if (control && w95::IsTabStop(*control))
            stops.push_back(child);
    }
    if (stops.empty())
        return nullptr;
    HWND current = hCtl ? w95::DialogControlOf(hDlg, hCtl) : nullptr;
    // Positions in template order, so a control that is no tab stop still has a place.
    const auto& order = dialog->children;
    auto position = [&](HWND hwnd) {
        return std::find(order.begin(), order.end(), hwnd) - order.begin();
    };
    if (!current)
        return bPrevious ? stops.back() : stops.front();
    auto here = position(current);
    if (bPrevious) {
        for (auto it = stops.rbegin(); it != stops.rend(); ++it) {
            if (position(*it) < here)
                return *it;
        }
        return stops.back();
    }
    for (HWND stop : stops) {
        if (position(stop) > here)
            return stop;
    }
    return stops.front();
}

extern "C" BOOL WINAPI IsDialogMessageA(HWND hDlg, LPMSG lpMsg) {
    if (!lpMsg || !hDlg || !lpMsg->hwnd)
        return FALSE;
    if (lpMsg->hwnd != hDlg && !IsChild(hDlg, lpMsg->hwnd))
        return FALSE;
    if (lpMsg->message == WM_KEYDOWN) {
        LRESULT code =
            w95::Send(lpMsg->hwnd, WM_GETDLGCODE, lpMsg->wParam, reinterpret_cast<LPARAM>(lpMsg));
        if (!(code & DLGC_WANTMESSAGE)) {
            HWND focus_control = w95::DialogControlOf(hDlg, lpMsg->hwnd);
            switch (lpMsg->wParam) {
                case VK_TAB:
                    if (!(code & DLGC_WANTTAB)) {
                        w95::Send(hDlg, WM_NEXTDLGCTL, 0, 0);
                        return TRUE;
                    }
                    break;
                case VK_ESCAPE:
                case VK_CANCEL:
                    w95::Command(hDlg, IDCANCEL, GetDlgItem(hDlg, IDCANCEL));
                    return TRUE;
                case VK_RETURN:
                case VK_EXECUTE:
                    w95::PressEnter(hDlg, focus_control);
                    return TRUE;
                default:
                    break;
            }
        }
    } else if (lpMsg->message == WM_CHAR) {
        // The characters of the navigation keys are not typed into controls.
        LRESULT code =
            w95::Send(lpMsg->hwnd, WM_GETDLGCODE, lpMsg->wParam, reinterpret_cast<LPARAM>(lpMsg));
        bool navigation = lpMsg->wParam == '\t' || lpMsg->wParam == '\r' || lpMsg->wParam == 27;
        if (navigation && !(code & (DLGC_WANTMESSAGE | DLGC_WANTTAB)))
            return TRUE;
    }
    TranslateMessage(lpMsg);
    DispatchMessageA(lpMsg);
    return TRUE;
}
