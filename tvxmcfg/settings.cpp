// The country table, the stored settings and the start-up entry that runs the utility with /AUTO
// at every system start.
#include "tvxmcfg.h"

#include "registry.h"

#define SETTINGS_KEY "Software\\norvane\\tarvexport"
#define STARTUP_KEY "Software\\Microsoft\\Windows\\CurrentVersion\\RunServices"
#define STARTUP_VALUE "TarvexModem Config"
#define STARTUP_PROGRAM "\\Tarvex\\TvxMCfg /AUTO"
#define STARTUP_COMMAND_SIZE 260

ModemSettingsRecord ModemSettings;
ModemSettingsRecord DetectedSettings;
BYTE BoardNeedsFirmware[MAX_BOARDS];
BYTE DetectedKinds = 0;
LONG FirstIsaBoard = -1;
char MessageText[MESSAGE_TEXT_SIZE];

const CountryEntry CountryTable[COUNTRY_ROWS] = {
    {22, "United States", 7},   {40, "Australia", 0},   {1, "Austria", 0},
    {2, "Belgium", 0},          {27, "Bulgaria", 0},    {20, "Canada", 0},
    {41, "Czech Republic", 0},  {3, "Denmark", 4},      {4, "Finland", 0},
    {5, "France", 5},           {6, "Germany", 5},      {17, "Greece", 0},
    {42, "Hong Kong", 0},       {23, "Hungary", 0},     {30, "India", 0},
    {7, "Ireland", 4},          {18, "Israel", 0},      {8, "Italy", 5},
    {43, "Japan", 4},           {44, "Korea", 0},       {9, "Luxembourg", 0},
    {21, "Mexico", 0},          {10, "Netherlands", 4}, {48, "New Zealand", 0},
    {11, "Norway", 0},          {43, "Philippines", 4}, {24, "Poland", 0},
    {12, "Portugal", 0},        {25, "Russia", 0},      {47, "Singapore", 0},
    {26, "Slovak Republic", 0}, {13, "Spain", 4},       {14, "Sweden", 5},
    {15, "Switzerland", 4},     {46, "Taiwan", 0},      {16, "United Kingdom", 5},
    {0, "No Country Code", 0},
};

// "TarvexModem0" to "TarvexModem3": the template with its last character replaced by the index.
static void BoardValueName(char* name, int boardIndex) {
    lstrcpyA(name, "TarvexModem#");
    name[lstrlenA(name) - 1] = (char)('0' + boardIndex);
}

void LoadModemSettings(void) {
    ModemSettings.CountryCode = CountryTable[0].Code;
    DetectedSettings.CountryCode = CountryTable[0].Code;
    if (!RegKeyExists(SETTINGS_KEY))
        return;

    char name[sizeof("TarvexModem#")];
    for (int board = 0; board < MAX_BOARDS; ++board) {
        BoardValueName(name, board);
        DWORD stored;
        if (RegFetchDword(SETTINGS_KEY, name, &stored) == REG_OK && (stored & BOARD_OVERRIDDEN)) {
            ModemSettings.BoardFlags[board] = (LONG)stored;
        }
    }
    DWORD country;
    if (RegFetchDword(SETTINGS_KEY, "ModemCountry", &country) == REG_OK) {
        ModemSettings.CountryCode = (LONG)country;
    }
}

// Builds the start-up command; 0 when the system directory is not known or the command would
// not fit whole (a cut command would start the wrong program at every system start).
static int BuildStartupCommand(char* command) {
    UINT length = GetSystemDirectoryA(command, STARTUP_COMMAND_SIZE);
    if (length == 0 || length >= STARTUP_COMMAND_SIZE)
        return 0;
    if (length + sizeof(STARTUP_PROGRAM) > STARTUP_COMMAND_SIZE)
        return 0;
    lstrcatA(command, STARTUP_PROGRAM);
    return 1;
}

int SaveModemSettings(const BOOL boardChecked[MAX_BOARDS], const char* countryText) {
    for (int board = 0; board < MAX_BOARDS; ++board) {
        LONG flags = boardChecked[board] ? BOARD_IS_MODEM : 0;
        if (flags != DetectedSettings.BoardFlags[board])
            flags |= BOARD_OVERRIDDEN;
        ModemSettings.BoardFlags[board] = flags;
    }

    const CountryEntry* chosen = &CountryTable[0];
    for (const CountryEntry* row = CountryTable; row->Code != 0; ++row) {
        if (lstrcmpA(row->Name, countryText) == 0) {
            chosen = row;
            break;
        }
    }
    ModemSettings.CountryCode = chosen->Code;

    if (!RegKeyExists(SETTINGS_KEY))
        RegMakeKey(SETTINGS_KEY);
    RegPutDwordOrDelete(SETTINGS_KEY, "ModemCountry", (DWORD)ModemSettings.CountryCode,
                        (DWORD)CountryTable[0].Code);
    char name[sizeof("TarvexModem#")];
    for (int board = 0; board < MAX_BOARDS; ++board) {
        BoardValueName(name, board);
        RegPutDwordOrDelete(SETTINGS_KEY, name, (DWORD)ModemSettings.BoardFlags[board], 0);
    }
    RegPutDwordOrDelete(SETTINGS_KEY, "FirstISATarvex", (DWORD)FirstIsaBoard, 0);

    if (ModemSettings.CountryCode == CountryTable[0].Code && !(DetectedKinds & KIND_PCI_REV001)) {
        RegRemoveValue(STARTUP_KEY, STARTUP_VALUE);
        return 0;
    }

    char command[STARTUP_COMMAND_SIZE];
    if (BuildStartupCommand(command))
        RegPutString(STARTUP_KEY, STARTUP_VALUE, command, REG_SZ);

    DriverConfig config;
    ZeroMemory(&config, sizeof(config));
    GetDriverConfig(&config);
    InitializeModems(config);
    ReinitializeModems(config);
    return 0;
}

LONG ReadStoredFirstIsaBoard(void) {
    if (!RegKeyExists(SETTINGS_KEY))
        return 0;
    DWORD stored;
    if (RegFetchDword(SETTINGS_KEY, "FirstISATarvex", &stored) != REG_OK)
        return 0;
    return (LONG)stored;
}
