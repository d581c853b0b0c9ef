// The board dialog, one Reset button per port with the port's name beside it, and the reset
// sequences it and the menu's Reset all run through the driver.
#include "tvxreset.h"

#include <string.h>

#define RESET_HOLD_SINGLE 40  // ms a single modem is held in reset
#define RESET_HOLD_ALL 20     // ms all modems are held in reset together

// The board index of the open dialog (one at a time: it is modal).
static WORD DialogBoard = 0;

DWORD BoardPortCount(int board) {
    DWORD count = Config.Boards[board].PortCount;
    // A count beyond the record's eight name slots would address ports that are not there.
    return count > MAX_PORTS_PER_BOARD ? MAX_PORTS_PER_BOARD : count;
}

// The name of a port as a text: the driver's 16 bytes, cut at 15 characters whatever it wrote.
static void PortName(WORD board, int port, char name[PORT_NAME_SIZE]) {
    memcpy(name, Config.Boards[board].PortNames[port], PORT_NAME_SIZE - 1);
    name[PORT_NAME_SIZE - 1] = '\0';
}

static void SendPortRequest(DWORD code, PortKey* key) {
    DWORD returned = 0;
    DeviceIoControl(DriverHandle, code, key, sizeof(*key), key, sizeof(*key), &returned, NULL);
}

void ResetPort(WORD board, WORD port) {
    HCURSOR previous = SetCursor(LoadCursorA(NULL, IDC_WAIT));
    PortKey key = MAKE_PORT_KEY(board, port);
    SendPortRequest(DRV_MODEM_RESET_ON, &key);
    Sleep(RESET_HOLD_SINGLE);
    SendPortRequest(DRV_MODEM_RESET_OFF, &key);
    Sleep(Config.ModemResetDelay * 100);
    SendPortRequest(DRV_MODEM_INIT, &key);
    SetCursor(previous);
}

// Sends CODE for every port of every board, boards and ports in ascending order.
static void SendToAllPorts(DWORD code) {
    for (int board = 0; board < MAX_BOARDS; ++board) {
        for (DWORD port = 0; port < BoardPortCount(board); ++port) {
            PortKey key = MAKE_PORT_KEY(board, port);
            SendPortRequest(code, &key);
        }
    }
}

void ResetAllModems(void) {
    HCURSOR previous = SetCursor(LoadCursorA(NULL, IDC_WAIT));
    SendToAllPorts(DRV_MODEM_RESET_ON);
    Sleep(RESET_HOLD_ALL);
    SendToAllPorts(DRV_MODEM_RESET_OFF);
    Sleep(Config.ModemResetDelay * 100);
    SendToAllPorts(DRV_MODEM_INIT);
    SetCursor(previous);
}

// Shows or hides the row of PORT; a shown row gets the port's name.
static void ShowPortRow(HWND dialog, int port, BOOL show) {
    ShowWindow(GetDlgItem(dialog, IDC_RESET_PORT0 + port), show ? SW_SHOW : SW_HIDE);
    ShowWindow(GetDlgItem(dialog, IDC_PORT_NAME0 + port), show ? SW_SHOW : SW_HIDE);
    if (show) {
        char name[PORT_NAME_SIZE];
        PortName(DialogBoard, port, name);
        SetDlgItemTextA(dialog, IDC_PORT_NAME0 + port, name);
    }
}

static void InitBoardDialog(HWND dialog, LPARAM board) {
    char title[20];
    char name[PORT_NAME_SIZE];
    DialogBoard = LOWORD(board);
    // The index comes from the menu (0 to 3); anything else is taken as the last board.
    if (DialogBoard >= MAX_BOARDS)
        DialogBoard = MAX_BOARDS - 1;
    wsprintfA(title, "Board %d", DialogBoard + 1);
    SetWindowTextA(dialog, title);
    for (int port = 0; port < 4; ++port) {
        PortName(DialogBoard, port, name);
        SetDlgItemTextA(dialog, IDC_PORT_NAME0 + port, name);
    }
    DWORD count = BoardPortCount(DialogBoard);
    ShowPortRow(dialog, 6, count >= 8);
    ShowPortRow(dialog, 7, count >= 8);
    ShowPortRow(dialog, 4, count >= 6);
    ShowPortRow(dialog, 5, count >= 6);
    SetFocus(GetDlgItem(dialog, IDOK));
}

INT_PTR CALLBACK BoardDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            InitBoardDialog(dialog, lParam);
            return TRUE;
        case WM_COMMAND: {
            WORD id = LOWORD(wParam);
            if (id == IDOK) {
                EndDialog(dialog, 0);
                return TRUE;
            }
            if (id >= IDC_RESET_PORT0 && id < IDC_RESET_PORT0 + MAX_PORTS_PER_BOARD)
                ResetPort(DialogBoard, (WORD)(id - IDC_RESET_PORT0));
            return FALSE;
        }
        case WM_CLOSE:
            EndDialog(dialog, 0);
            return TRUE;
        default:
            return FALSE;
    }
}
