// The entry of the modem reset utility: refuses the NT family, opens the driver and reads the
// board configuration once, offers the boards in the menu, paints the logo, and answers the
// menu's commands (board dialog, Reset all, Exit, Help, About).
#include "tvxreset.h"

#include <stdlib.h>
#include <string.h>

#define CLASS_NAME "TvxReset"
#define WINDOW_TITLE "TarvexModem Reset Utility"
#define MESSAGE_CAPTION "TvxReset"
#define HELP_FILE "TvxReset.hlp"
#define MAIN_STYLE (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX)

#define DEFAULT_DESCRIPTION "TarvexModem Reset Utility"
#define DEFAULT_NOTICE "Copyright (C) Norvane"
#define VERSION_PREFIX "Version "
#define STRING_TABLE "\\StringFileInfo\\040904E4\\"

HINSTANCE Instance = NULL;
HMENU MainMenu = NULL;
HWND MainWindow = NULL;
HANDLE DriverHandle = INVALID_HANDLE_VALUE;
DriverConfig Config;

// Copies SOURCE into DEST of SIZE characters, cut to fit.
static void CopyText(char* dest, size_t size, const char* source) {
    size_t length = strlen(source);
    if (length > size - 1)
        length = size - 1;
    memcpy(dest, source, length);
    dest[length] = '\0';
}

HANDLE OpenDriver(void) {
    if (IsWindowsNT()) {
        MessageBoxA(NULL,
                    "This utility is for Win95/98 only.\n\nUse the driver setup program to reset\n"
                    "the TarvexModems in Window NT.",
                    MESSAGE_CAPTION, MB_ICONWARNING);
        return INVALID_HANDLE_VALUE;
    }
    HANDLE handle = CreateFileA(DRIVER_DEVICE_PATH, GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                                FILE_FLAG_DELETE_ON_CLOSE | FILE_ATTRIBUTE_NORMAL, NULL);
    if (handle == INVALID_HANDLE_VALUE) {
        MessageBoxA(NULL,
                    "Unable to communicate with the TarvexModem driver.\n"
                    "Check the configuration or reinstall the hardware.",
                    MESSAGE_CAPTION, MB_ICONWARNING);
    }
    return handle;
}

// Reads the board configuration into Config; on failure tells the user with the error code.
static BOOL ReadDriverConfig(void) {
    DWORD returned = 0;
    ZeroMemory(&Config, sizeof(Config));
    Config.RecordSize = DRIVER_CONFIG_SIZE;
    if (DeviceIoControl(DriverHandle, DRV_GET_CONFIG, &Config, DRIVER_CONFIG_SIZE, &Config,
                        DRIVER_CONFIG_SIZE, &returned, NULL))
        return TRUE;
    char text[200];
    wsprintfA(text,
              "Unable to obtain TarvexModem configuration data.\nPlease run the \"TvxMCfg\" "
              "utility or contact Technical Support.\n(Error = %lx)",
              GetLastError());
    MessageBoxA(NULL, text, MESSAGE_CAPTION, MB_ICONWARNING);
    return FALSE;
}

// Offers exactly the boards that have ports, and Reset all when at least one has.
static void SetBoardMenu(void) {
    EnableMenuItem(MainMenu, IDM_RESET_ALL, MF_BYCOMMAND | MF_GRAYED | MF_DISABLED);
    for (int board = 0; board < MAX_BOARDS; ++board) {
        if (Config.Boards[board].PortCount != 0) {
            EnableMenuItem(MainMenu, IDM_BOARD1 + board, MF_BYCOMMAND | MF_ENABLED);
            EnableMenuItem(MainMenu, IDM_RESET_ALL, MF_BYCOMMAND | MF_ENABLED);
        } else {
            EnableMenuItem(MainMenu, IDM_BOARD1 + board, MF_BYCOMMAND | MF_GRAYED | MF_DISABLED);
        }
    }
}

static void PaintLogo(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    HDC memory = CreateCompatibleDC(dc);
    if (memory != NULL) {
        HBITMAP logo = LoadBitmapA(Instance, MAKEINTRESOURCEA(IDB_LOGO));
        HGDIOBJ previous = SelectObject(memory, logo);
        BitBlt(dc, 0, 0, MAIN_CLIENT_WIDTH, MAIN_CLIENT_HEIGHT, memory, 0, 0, SRCCOPY);
        SelectObject(memory, previous);
        DeleteObject(logo);
        DeleteDC(memory);
    }
    EndPaint(window, &paint);
}

// The string VALUE of the version block into DEST (SIZE characters); DEST keeps its default
// when the block has no such value.
static void QueryVersionText(const void* block, const char* value, char* dest, size_t size) {
    char path[64];
    LPVOID found = NULL;
    UINT length = 0;
    wsprintfA(path, "%s%s", STRING_TABLE, value);
    if (VerQueryValueA(block, path, &found, &length) && found != NULL)
        CopyText(dest, size, (const char*)found);
}

// The pad that centres a line of LENGTH characters within WIDTH; 0 for a longer line.
static int CenterPad(size_t width, size_t length) {
    return length < width ? (int)((width - length) / 2) : 0;
}

void ComposeAboutText(const char* programPath, char* text) {
    char description[ABOUT_LINE_SIZE];
    char notice[ABOUT_LINE_SIZE];
    char version[ABOUT_LINE_SIZE - sizeof(VERSION_PREFIX) + 1];
    char versionLine[ABOUT_LINE_SIZE];
    char format[ABOUT_FORMAT_SIZE];
    CopyText(description, sizeof(description), DEFAULT_DESCRIPTION);
    CopyText(notice, sizeof(notice), DEFAULT_NOTICE);
    versionLine[0] = '\0';

    DWORD handle = 0;
    DWORD size = programPath != NULL ? GetFileVersionInfoSizeA(programPath, &handle) : 0;
    void* block = size != 0 ? malloc(size) : NULL;
    if (block != NULL && GetFileVersionInfoA(programPath, handle, size, block)) {
        QueryVersionText(block, "FileDescription", description, sizeof(description));
        QueryVersionText(block, "LegalCopyright", notice, sizeof(notice));
        version[0] = '\0';
        QueryVersionText(block, "FileVersion", version, sizeof(version));
        wsprintfA(versionLine, "%s%s", VERSION_PREFIX, version);
    }

    size_t width = strlen(description) > strlen(notice) ? strlen(description) : strlen(notice);
    // Each line: its pad as a space right-aligned in a field of that width, then its text.
    wsprintfA(format, "%%%dc%%s\n%%%dc%%s\n%%%dc%%s", CenterPad(width, strlen(description)),
              CenterPad(width, strlen(versionLine)), CenterPad(width, strlen(notice)));
    wsprintfA(text, format, ' ', description, ' ', versionLine, ' ', notice);
    free(block);
}

static void ShowAboutBox(HWND owner) {
    char path[MAX_PATH];
    char text[ABOUT_TEXT_SIZE];
    DWORD length = GetModuleFileNameA(Instance, path, sizeof(path));
    ComposeAboutText(length != 0 ? path : NULL, text);
    MessageBoxA(owner, text, "About TvxReset", MB_TASKMODAL | MB_ICONINFORMATION);
}

static void HandleCommand(HWND window, WORD id) {
    switch (id) {
        case IDM_BOARD1:
        case IDM_BOARD2:
        case IDM_BOARD3:
        case IDM_BOARD4:
            DialogBoxParamA(Instance, MAKEINTRESOURCEA(IDD_BOARD), window, BoardDialogProc,
                            (LPARAM)(id - IDM_BOARD1));
            SetFocus(window);
            break;
        case IDM_RESET_ALL:
            ResetAllModems();
            break;
        case IDM_EXIT:
            if (DriverHandle != INVALID_HANDLE_VALUE) {
                CloseHandle(DriverHandle);
                DriverHandle = INVALID_HANDLE_VALUE;
            }
            DestroyWindow(window);
            break;
        case IDM_HELP_TOPICS:
            WinHelpA(window, HELP_FILE, HELP_CONTEXT, 1);
            break;
        case IDM_ABOUT:
            ShowAboutBox(window);
            break;
        default:
            break;
    }
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT:
            PaintLogo(window);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        case WM_COMMAND:
            HandleCommand(window, LOWORD(wParam));
            return 0;
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine,
                   int showCommand) {
    (void)previousInstance;
    (void)commandLine;
    WNDCLASSA windowClass;
    ZeroMemory(&windowClass, sizeof(windowClass));
    windowClass.style = 0;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, "MainIcon");
    windowClass.hCursor = LoadCursorA(NULL, IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    windowClass.lpszClassName = CLASS_NAME;
    RegisterClassA(&windowClass);

    MainMenu = LoadMenuA(instance, MAKEINTRESOURCEA(IDM_MAIN));
    Instance = instance;

    RECT frame = {0, 0, MAIN_CLIENT_WIDTH, MAIN_CLIENT_HEIGHT};
    AdjustWindowRect(&frame, MAIN_STYLE, TRUE);
    MainWindow = CreateWindowExA(WS_EX_DLGMODALFRAME, CLASS_NAME, WINDOW_TITLE, MAIN_STYLE,
                                 GetSystemMetrics(SM_CXSCREEN) / 2 - MAIN_CLIENT_WIDTH / 2,
                                 GetSystemMetrics(SM_CYSCREEN) / 2 - MAIN_CLIENT_HEIGHT / 2,
                                 frame.right - frame.left, frame.bottom - frame.top, NULL, MainMenu,
                                 instance, NULL);
    if (MainWindow == NULL)
        return 0;

    DriverHandle = OpenDriver();
    if (DriverHandle == INVALID_HANDLE_VALUE)
        return 0;
    if (!ReadDriverConfig())
        return 0;
    SetBoardMenu();
    ShowWindow(MainWindow, showCommand);

    MSG message;
    while (GetMessageA(&message, NULL, 0, 0)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
