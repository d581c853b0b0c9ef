// The modem configuration utility: its module-level state and the operations of its modules.
#ifndef TVXMCFG_H
#define TVXMCFG_H

#include <windows.h>

#include "driver.h"

#define BOARD_IS_MODEM 1
#define BOARD_OVERRIDDEN 2

// Kind bits of DetectedKinds and of a country's Kinds.
#define KIND_ISA_MODEM 1
#define KIND_PCI_REV001 2
#define KIND_PCI_REV002 4

#define COUNTRY_NAME_SIZE 50
#define COUNTRY_ROWS 37
#define MESSAGE_TEXT_SIZE 260

typedef struct ModemSettingsRecord {
    LONG BoardFlags[MAX_BOARDS];
    LONG CountryCode;
} ModemSettingsRecord;

typedef struct CountryEntry {
    LONG Code;
    char Name[COUNTRY_NAME_SIZE];
    BYTE Kinds;
} CountryEntry;

// State set up at program start and by detection.
extern ModemSettingsRecord ModemSettings;
extern ModemSettingsRecord DetectedSettings;
extern BYTE BoardNeedsFirmware[MAX_BOARDS];
extern BYTE DetectedKinds;
extern LONG FirstIsaBoard;
extern LONG BoardCount;
extern char MessageText[MESSAGE_TEXT_SIZE];

extern const CountryEntry CountryTable[COUNTRY_ROWS];

// Board detection from the hardware enumerator's keys.
void DetectBoards(void);
void DetectPciBoards(void);
void DetectIsaBoards(void);

// Stored settings and the start-up entry.
void LoadModemSettings(void);
int SaveModemSettings(const BOOL boardChecked[MAX_BOARDS], const char* countryText);
LONG ReadStoredFirstIsaBoard(void);

// The modem initialisation run.
void GetDriverConfig(DriverConfig* config);
int InitializeModems(DriverConfig config);
int ResetFirmwareBoards(DriverConfig config);
int ReinitializeModems(DriverConfig config);
DWORD ComputeFirmwareChecksum(const BYTE* image, DWORD size);

// The configuration window and its modeless dialog.
extern HWND ConfigDialog;
void RunConfigWindow(HINSTANCE instance, int showCommand);
LRESULT CALLBACK ConfigWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ConfigDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
int FillConfigDialog(HWND dialog);
void ApplyConfigDialog(HWND dialog);

// The entry's minimised window, shown while the automatic run works.
extern HWND InitializingWindow;
void ShowInitializingWindow(void);

#endif
