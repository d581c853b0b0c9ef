// The configuration window: a small top-most window whose client area holds the modeless dialog
// "TarvexModem" with the board check boxes, the country list and the OK, Cancel, Help and
// Defaults buttons. OK stores the choices (and applies them when the settings call for it),
// Cancel and closing the window store nothing; either way the program then ends.
#include "tvxmcfg.h"

#include "resource.h"

#define CONFIG_CLASS "TarvexModem"
#define CONFIG_TITLE "TvxMCfg"
#define CONFIG_TEMPLATE "TarvexModem"
#define HELP_FILE "TVXMCFG.HLP"
#define SELECTION_TEXT_SIZE 60
#define COUNTRY_TEXT_SIZE 59

HWND ConfigDialog = NULL;

void RunConfigWindow(HINSTANCE instance, int showCommand) {
    LoadModemSettings();
    ConfigDialog = NULL;

    WNDCLASSA windowClass;
    ZeroMemory(&windowClass, sizeof(windowClass));
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = ConfigWindowProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = 0;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, "MainIcon");
    windowClass.hCursor = LoadCursorA(NULL, IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)(COLOR_APPWORKSPACE + 1);
    windowClass.lpszMenuName = NULL;
    windowClass.lpszClassName = CONFIG_CLASS;
    RegisterClassA(&windowClass);

    // 155 x 75 dialog units of the system font, frame and caption included.
    LONG baseUnits = GetDialogBaseUnits();
    int width = (int)(((unsigned)LOWORD(baseUnits) * 155) / 4);
    int height = (int)(((unsigned)HIWORD(baseUnits) * 75) / 8);
    HWND window =
        CreateWindowExA(WS_EX_TOPMOST, CONFIG_CLASS, CONFIG_TITLE,
                        WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN, CW_USEDEFAULT,
                        CW_USEDEFAULT, width, height, NULL, NULL, instance, NULL);
    // Without the window nothing could ever end the loop below: end the program instead.
    if (window == NULL)
        return;
    if (ConfigDialog == NULL) {
        // An empty window would wait for ever: it goes, and its quit message ends the loop.
        DestroyWindow(window);
    } else {
        ShowWindow(window, showCommand);
        UpdateWindow(window);
    }

    MSG message;
    while (GetMessageA(&message, NULL, 0, 0) > 0) {
        if (ConfigDialog != NULL && IsDialogMessageA(ConfigDialog, &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

LRESULT CALLBACK ConfigWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE: {
            const CREATESTRUCTA* create = (const CREATESTRUCTA*)lParam;
            ConfigDialog =
                CreateDialogParamA(create->hInstance, CONFIG_TEMPLATE, window, ConfigDialogProc, 0);
            return 0;
        }
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        case WM_SETFOCUS:
            SetFocus(ConfigDialog);
            return 0;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            BeginPaint(window, &paint);
            EndPaint(window, &paint);
            return 0;
        }
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

INT_PTR CALLBACK ConfigDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    (void)lParam;
    if (message == WM_INITDIALOG) {
        FillConfigDialog(dialog);
        return TRUE;  // the dialog manager focuses the first tab stop
    }
    if (message != WM_COMMAND)
        return FALSE;

    switch (LOWORD(wParam)) {
        case IDC_OK_BUTTON:
            ApplyConfigDialog(dialog);
            PostQuitMessage(0);
            EndDialog(dialog, 0);
            return TRUE;
        case IDC_CANCEL_BUTTON:
            PostQuitMessage(0);
            EndDialog(dialog, 0);
            return TRUE;
        case IDC_HELP_BUTTON:
            WinHelpA(dialog, HELP_FILE, HELP_CONTENTS, 0);
            return TRUE;
        case IDC_DEFAULTS_BUTTON:
            ModemSettings = DetectedSettings;
            FillConfigDialog(dialog);
            return TRUE;
    }
    // Enter and Esc arrive here as IDOK and IDCANCEL, and do nothing.
    return FALSE;
}

int FillConfigDialog(HWND dialog) {
    char selection[SELECTION_TEXT_SIZE];
    for (int board = 0; board < MAX_BOARDS; ++board) {
        SendDlgItemMessageA(dialog, IDC_BOARD1 + board, BM_SETCHECK,
                            (WPARAM)(ModemSettings.BoardFlags[board] & BOARD_IS_MODEM), 0);
    }
    SendDlgItemMessageA(dialog, IDC_COUNTRY, CB_RESETCONTENT, 0, 0);

    // The countries offered for the detected boards, in table order; the last offered row with
    // the current code names the selection.
    selection[0] = '\0';
    for (const CountryEntry* row = CountryTable; row->Code != 0; ++row) {
        if ((row->Kinds & DetectedKinds) == 0)
            continue;
        SendDlgItemMessageA(dialog, IDC_COUNTRY, CB_ADDSTRING, 0, (LPARAM)row->Name);
        if (row->Code == ModemSettings.CountryCode) {
            lstrcpynA(selection, row->Name, SELECTION_TEXT_SIZE);
        }
    }
    if (selection[0] == '\0')
        lstrcpynA(selection, CountryTable[0].Name, SELECTION_TEXT_SIZE);
    SetDlgItemTextA(dialog, IDC_COUNTRY, selection);
    return 0;
}

void ApplyConfigDialog(HWND dialog) {
    BOOL boardChecked[MAX_BOARDS];
    char countryText[COUNTRY_TEXT_SIZE];
    for (int board = 0; board < MAX_BOARDS; ++board) {
        boardChecked[board] = IsDlgButtonChecked(dialog, IDC_BOARD1 + board) != 0;
    }
    GetDlgItemTextA(dialog, IDC_COUNTRY, countryText, COUNTRY_TEXT_SIZE);
    SaveModemSettings(boardChecked, countryText);
}
