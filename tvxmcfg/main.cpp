// The entry of the modem configuration utility: refuses the NT family, prepares the settings,
// detects the boards, then runs the mode the command line asks for: the configuration window
// (no argument), the automatic start-up run ("/AUTO"), or nothing (anything else).
#include "tvxmcfg.h"

#include <string.h>

#define AUTO_SWITCH "/AUTO"

HWND InitializingWindow = NULL;

void ShowInitializingWindow(void) {
    InitializingWindow = CreateWindowExA(WS_EX_TOPMOST, "STATIC", "TarvexModem Initializing...",
                                         WS_MINIMIZE | WS_CLIPCHILDREN | WS_CAPTION, CW_USEDEFAULT,
                                         CW_USEDEFAULT, 0, 0, NULL, NULL, NULL, NULL);
    ShowWindow(InitializingWindow, SW_SHOWMINIMIZED);
}

// The run at every system start: the firmware download, the board resets and the
// re-initialisation, each step given its own copy of the driver's configuration.
static void RunAutomatic(void) {
    DriverConfig config;
    // Cleared, so that a driver that cannot be reached leaves a record without boards or ports.
    ZeroMemory(&config, sizeof(config));
    ShowInitializingWindow();
    GetDriverConfig(&config);
    int result = InitializeModems(config);
    if (result != 0) {
        wsprintfA(MessageText,
                  "An error occurred while initializing\na TarvexModem board: [Error %d]", result);
        MessageBoxA(NULL, MessageText, "TarvexModem Error", MB_OK | MB_ICONWARNING);
    }
    ResetFirmwareBoards(config);
    ReinitializeModems(config);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine,
                   int showCommand) {
    (void)previousInstance;
    if (IsWindowsNT())
        return 0;

    ZeroMemory(&ModemSettings, sizeof(ModemSettings));
    ZeroMemory(&DetectedSettings, sizeof(DetectedSettings));
    ZeroMemory(BoardNeedsFirmware, sizeof(BoardNeedsFirmware));
    ModemSettings.CountryCode = CountryTable[0].Code;
    DetectedSettings.CountryCode = CountryTable[0].Code;
    DetectBoards();

    if (commandLine == NULL || commandLine[0] == '\0') {
        RunConfigWindow(instance, showCommand);
        return 0;
    }
    // Exactly "/AUTO", byte for byte: any other argument ends the program here.
    if (strcmp(commandLine, AUTO_SWITCH) != 0)
        return 0;

    if (ReadStoredFirstIsaBoard() == FirstIsaBoard) {
        RunAutomatic();
        return 0;
    }
    MessageBoxA(NULL,
                "The registry indicates that the TarvexModem configuration may have changed.\n\n"
                "Please verify the current settings.",
                "TvxMCfg Warning", MB_OK | MB_ICONWARNING);
    RunConfigWindow(instance, showCommand);
    return 0;
}
