// tvxgroup: creates or removes the program group of the board utilities, then deletes the logon
// entry of the Run key that started it, so that the action runs once.
//   /ADD with /TM   the modem-board group   (removes "Create TarvexModem Group")
//   /ADD with /TP   the port-board group    (removes "Create TarvexPort Group")
//   /REMOVE         the group, either form  (removes "Remove TarvexPort Group")
#include <windows.h>

#include <string.h>

#include "driver.h"
#include "group_builder.h"
#include "registry.h"

#define RUN_KEY "Software\\Microsoft\\Windows\\CurrentVersion\\Run"
#define ITEMS_FOLDER_SIZE 260
#define ITEMS_SUBFOLDER "\\tarvex"
// The shell may still be starting at logon: give it a minute before talking to it.
#define BUILD_DELAY_MS 60000

static char ItemsFolder[ITEMS_FOLDER_SIZE];

// The system directory followed by "\tarvex"; 0 when there is no system directory or the folder
// would not fit the buffer.
static int MakeItemsFolder(void) {
    UINT length = GetSystemDirectoryA(ItemsFolder, ITEMS_FOLDER_SIZE);
    if (length == 0 || length + sizeof(ITEMS_SUBFOLDER) > ITEMS_FOLDER_SIZE)
        return 0;
    lstrcatA(ItemsFolder, ITEMS_SUBFOLDER);
    return 1;
}

static void CreateGroupAndForget(const char* const* table, const char* runValue) {
    SetCursor(LoadCursorA(NULL, IDC_WAIT));
    CreateProgramGroup(table, ItemsFolder);
    SetCursor(LoadCursorA(NULL, IDC_ARROW));
    RegRemoveValue(RUN_KEY, runValue);
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandTail, int) {
    if (IsWindowsNT() == 1)
        return 0;
    if (commandTail == NULL || commandTail[0] == '\0')
        return 0;

    // The switches are compared byte for byte: "/REMOVE" must be the whole tail.
    if (strcmp(commandTail, "/REMOVE") == 0) {
        RemoveProgramGroup(ModemGroupTable, ItemsFolder);
        RegRemoveValue(RUN_KEY, "Remove TarvexPort Group");
        return 0;
    }
    if (strstr(commandTail, "/ADD") == NULL)
        return 0;

    Sleep(BUILD_DELAY_MS);
    // Without the folder nothing is built and the Run value stays, for another try at the next
    // logon.
    if (!MakeItemsFolder())
        return 0;
    if (strstr(commandTail, "/TM") != NULL) {
        CreateGroupAndForget(ModemGroupTable, "Create TarvexModem Group");
    } else if (strstr(commandTail, "/TP") != NULL) {
        CreateGroupAndForget(PortGroupTable, "Create TarvexPort Group");
    }
    return 0;
}
