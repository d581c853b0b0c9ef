// System metrics: the screen from the machine's settings, the rest fixed at Windows 95's values
// for the standard display; the window rectangle for a client rectangle.
#include "handles.h"
#include "machine.h"
#include "window.h"

extern "C" int WINAPI GetSystemMetrics(int nIndex) {
    w95::MachineConfig config = w95::LoadMachineConfig();
    switch (nIndex) {
        case SM_CXSCREEN:
        case SM_CXFULLSCREEN:
            return config.screen_width;
        case SM_CYSCREEN:
            return config.screen_height;
        case SM_CYFULLSCREEN:
            return config.screen_height - 19;  // less a caption
        case SM_CXVSCROLL:
        case SM_CYHSCROLL:
        case SM_CYVSCROLL:
        case SM_CXHSCROLL:
        case SM_CYVTHUMB:
        case SM_CXHTHUMB:
            return 16;
        case SM_CYCAPTION:
        case SM_CYMENU:
            return 19;
        case SM_CXBORDER:
        case SM_CYBORDER:
            return 1;
        case SM_CXDLGFRAME:
        case SM_CYDLGFRAME:
            return 3;
        case SM_CXFRAME:
        case SM_CYFRAME:
            return 4;
        case SM_CXEDGE:
        case SM_CYEDGE:
            return 2;
        case SM_CXICON:
        case SM_CYICON:
        case SM_CXCURSOR:
        case SM_CYCURSOR:
            return 32;
        case SM_CXSMICON:
        case SM_CYSMICON:
            return 16;
        case SM_CYSMCAPTION:
            return 15;
        case SM_CXSIZE:
        case SM_CYSIZE:
            return 18;
        case SM_CXMIN:
            return 112;
        case SM_CYMIN:
            return 27;
        case SM_CXMINTRACK:
            return 112;
        case SM_CYMINTRACK:
            return 27;
        case SM_CXMINIMIZED:
            return 160;
        case SM_CYMINIMIZED:
            return 24;
        case SM_CXMAXIMIZED:
            return config.screen_width + 8;
        case SM_CYMAXIMIZED:
            return config.screen_height + 8;
        case SM_MOUSEPRESENT:
            return 1;
        default:
            return 0;
    }
}

extern "C" BOOL WINAPI AdjustWindowRectEx(LPRECT lpRect, DWORD dwStyle, BOOL bMenu,
                                          DWORD dwExStyle) {
    if (!lpRect)
        return w95::Fail(ERROR_INVALID_PARAMETER, FALSE);
    RECT insets = w95::NonClientInsets(dwStyle, dwExStyle, bMenu != FALSE);
    lpRect->left -= insets.left;
    lpRect->top -= insets.top;
    lpRect->right += insets.right;
    lpRect->bottom += insets.bottom;
    return TRUE;
}

extern "C" BOOL WINAPI AdjustWindowRect(LPRECT lpRect, DWORD dwStyle, BOOL bMenu) {
    return AdjustWindowRectEx(lpRect, dwStyle, bMenu, 0);
}
