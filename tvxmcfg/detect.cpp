// Board detection: the boards of the family are found in the keys that the hardware enumerator
// keeps under ENUM, PCI boards first, then ISA boards, at most four in all.
#include "tvxmcfg.h"

#include <string.h>

#define PCI_ROOT "ENUM\\PCI"
#define ISA_ROOT "ENUM\\ROOT\\MULTIFUNCTION"
#define PCI_DEVICE_NAME_SIZE 80
#define PCI_DEVICE_NAME_LIMIT 100
#define PCI_INSTANCE_NAME_SIZE 98
#define PCI_INSTANCE_PATH_SIZE 160
#define REVISION_SIZE 8
#define ISA_INSTANCE_NAME_SIZE 80
#define ISA_INSTANCE_NAME_LIMIT 10
#define HARDWARE_ID_SIZE 80

LONG BoardCount = 0;

// A PCI device key of the family: "VEN_1D2C", any character, "DEV_000", then the device digit.
static int IsFamilyDeviceKey(const char* name) {
    int length = lstrlenA(name);
    return length >= 16 && length < PCI_DEVICE_NAME_LIMIT && memcmp(name, "VEN_1D2C", 8) == 0 &&
           memcmp(name + 9, "DEV_000", 7) == 0;
}

// Reads the instance's hardware revision and returns the board's flag word.
static LONG ExamineModemInstance(const char* instancePath, int boardIndex) {
    HKEY instance;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, instancePath, &instance) != ERROR_SUCCESS)
        return 0;

    BYTE value[REVISION_SIZE];
    DWORD length = REVISION_SIZE;
    DWORD type;
    LONG flags = 0;
    if (RegQueryValueExA(instance, "HWRevision", NULL, &type, value, &length) == ERROR_SUCCESS) {
        // Only the bytes read count, whether or not they end in a NUL.
        char revision[REVISION_SIZE + 1];
        memcpy(revision, value, length);
        revision[length] = '\0';
        if (lstrcmpA(revision, "001") == 0) {
            BoardNeedsFirmware[boardIndex] = 1;
            flags = BOARD_IS_MODEM;
            DetectedKinds |= KIND_PCI_REV001;
        } else if (lstrcmpA(revision, "002") == 0) {
            flags = BOARD_IS_MODEM;
            DetectedKinds |= KIND_PCI_REV002;
        } else {
            wsprintfA(MessageText, "Unknown TarvexModem PCI hardware revision : %s", revision);
            MessageBoxA(NULL, MessageText, "Error", MB_OK);
        }
    }
    RegCloseKey(instance);
    return flags;
}

void DetectPciBoards(void) {
    LONG boardIndex = BoardCount;
    HKEY root;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, PCI_ROOT, &root) != ERROR_SUCCESS)
        return;

    char deviceName[PCI_DEVICE_NAME_SIZE];
    char instanceName[PCI_INSTANCE_NAME_SIZE];
    char path[PCI_INSTANCE_PATH_SIZE];
    for (DWORD device = 0; boardIndex < MAX_BOARDS; ++device) {
        if (RegEnumKeyA(root, device, deviceName, sizeof(deviceName)) != ERROR_SUCCESS)
            break;
        if (!IsFamilyDeviceKey(deviceName))
            continue;

        lstrcpyA(path, PCI_ROOT "\\");
        lstrcatA(path, deviceName);
        HKEY deviceKey;
        if (RegOpenKeyA(HKEY_LOCAL_MACHINE, path, &deviceKey) != ERROR_SUCCESS)
            continue;
        lstrcatA(path, "\\");
        int prefixLength = lstrlenA(path);
        char deviceDigit = deviceName[16];

        for (DWORD instance = 0; boardIndex < MAX_BOARDS; ++instance) {
            if (RegEnumKeyA(deviceKey, instance, instanceName, sizeof(instanceName)) !=
                ERROR_SUCCESS) {
                break;
            }
            LONG flags = 0;
            if (deviceDigit == 'C' || deviceDigit == 'D') {
                // A path that does not fit is treated like an instance key that does not open.
                if (prefixLength + lstrlenA(instanceName) < PCI_INSTANCE_PATH_SIZE) {
                    path[prefixLength] = '\0';
                    lstrcatA(path, instanceName);
                    flags = ExamineModemInstance(path, boardIndex);
                }
            }
            ModemSettings.BoardFlags[boardIndex] = flags;
            ++boardIndex;
        }
        RegCloseKey(deviceKey);
    }
    RegCloseKey(root);
    BoardCount = boardIndex;
}

void DetectIsaBoards(void) {
    LONG boardIndex = BoardCount;
    if (boardIndex >= MAX_BOARDS)
        return;
    HKEY root;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, ISA_ROOT, &root) != ERROR_SUCCESS)
        return;

    char instanceName[ISA_INSTANCE_NAME_SIZE];
    char path[sizeof(ISA_ROOT "\\") + ISA_INSTANCE_NAME_LIMIT];
    for (DWORD instance = 0; boardIndex < MAX_BOARDS; ++instance) {
        if (RegEnumKeyA(root, instance, instanceName, sizeof(instanceName)) != ERROR_SUCCESS)
            break;
        if (lstrlenA(instanceName) > ISA_INSTANCE_NAME_LIMIT)
            continue;

        lstrcpyA(path, ISA_ROOT "\\");
        lstrcatA(path, instanceName);
        HKEY instanceKey;
        if (RegOpenKeyA(HKEY_LOCAL_MACHINE, path, &instanceKey) != ERROR_SUCCESS)
            continue;
        BYTE value[HARDWARE_ID_SIZE];
        DWORD length = HARDWARE_ID_SIZE;
        LONG read = RegQueryValueExA(instanceKey, "HardwareID", NULL, NULL, value, &length);
        RegCloseKey(instanceKey);
        if (read != ERROR_SUCCESS)
            continue;

        // The identifier is the text up to its first NUL, or every byte read when none is there.
        char id[HARDWARE_ID_SIZE + 1];
        memcpy(id, value, length);
        id[length] = '\0';
        int idLength = lstrlenA(id);
        if (idLength < 7 || memcmp(id, "TRVX100", 7) != 0)
            continue;

        LONG flags = 0;
        if (!(idLength > 8 && id[8] == 'M' && id[9] == 'C')) {
            if (FirstIsaBoard < 0)
                FirstIsaBoard = boardIndex;
            if (idLength == 9 && id[8] == 'M') {
                flags = BOARD_IS_MODEM;
                DetectedKinds |= KIND_ISA_MODEM;
            }
        }
        ModemSettings.BoardFlags[boardIndex] = flags;
        ++boardIndex;
    }
    RegCloseKey(root);
    BoardCount = boardIndex;
}

void DetectBoards(void) {
    BoardCount = 0;
    DetectPciBoards();
    DetectIsaBoards();
    DetectedSettings = ModemSettings;
}
