// The modem initialisation run: read the images, download them to every modem port of the boards
// that need firmware, one worker thread per port in parallel, report failed ports, and have the
// driver reset and re-initialise the modems.
#include "tvxmcfg.h"

#include "port_worker.h"

#define IMAGE_FOLDER "\\TARVEX\\"
#define LOADER_FILE "nvnmdmld.tm"
#define FIRMWARE_FILE "nvnmdmfw.tm"
#define PATH_SIZE 260
#define CHECKSUM_SKIP_FIRST 65470
#define CHECKSUM_SKIP_SECOND 65471
#define RESET_HOLD_MS 40

static PortRecord PortTable[MAX_SERVED_PORTS];
static HANDLE WorkerThreads[MAX_SERVED_PORTS];

static HANDLE OpenDriver(void) {
    return CreateFileA(DRIVER_DEVICE_PATH, GENERIC_READ | GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, NULL);
}

static void SendPortRequest(HANDLE driver, DWORD code, PortKey key) {
    DWORD returned;
    DeviceIoControl(driver, code, &key, sizeof(key), &key, sizeof(key), &returned, NULL);
}

// Ports of a board, at most the eight its entry has names for; a negative count serves none.
static int BoardPortCount(const DriverConfig* config, int board) {
    LONG count = (LONG)config->Boards[board].PortCount;
    if (count > MAX_PORTS_PER_BOARD)
        count = MAX_PORTS_PER_BOARD;
    return count < 0 ? 0 : (int)count;
}

void GetDriverConfig(DriverConfig* config) {
    HANDLE driver = OpenDriver();
    if (driver == INVALID_HANDLE_VALUE) {
        MessageBoxA(NULL,
                    "   Failed to intialize TarvexPort driver.\n\nThe TarvexModem boards may not "
                    "be properly\n   configured with country information.",
                    "TvxMCfg", MB_OK);
        return;
    }
    ZeroMemory(config, sizeof(*config));
    config->RecordSize = DRIVER_CONFIG_SIZE;
    DWORD returned;
    DeviceIoControl(driver, DRV_GET_CONFIG, config, sizeof(*config), config, sizeof(*config),
                    &returned, NULL);
    CloseHandle(driver);
}

DWORD ComputeFirmwareChecksum(const BYTE* image, DWORD size) {
    DWORD sum = 0x8000;
    for (DWORD i = 0; i < size; ++i) {
        if (i == CHECKSUM_SKIP_FIRST || i == CHECKSUM_SKIP_SECOND)
            continue;
        sum = (sum + image[i]) & 0xFFFF;
    }
    return sum;
}

static HANDLE OpenImage(const char* folder, const char* file) {
    char path[PATH_SIZE + sizeof(IMAGE_FOLDER) + sizeof(FIRMWARE_FILE)];
    lstrcpyA(path, folder);
    lstrcatA(path, file);
    return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, NULL);
}

// Zero-filled storage for an image; an empty file still gets a valid buffer.
static BYTE* AllocateImage(DWORD size) {
    return (BYTE*)VirtualAlloc(NULL, size ? size : 1, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

static void ReportFailedPort(const PortRecord* port, DWORD code) {
    char caption[sizeof("TarvexModem Error : ") + PORT_NAME_SIZE];
    wsprintfA(MessageText,
              "The TarvexModem on port %s is failing\nto respond properly.  Applications that\n"
              "use this port may not function properly.\n\nRun the TarvexModem diagnostics "
              "program\nfor additional testing and information.\n\n(error code = %d.%d)",
              port->PortName, (int)code, (int)port->LastError);
    wsprintfA(caption, "TarvexModem Error : %s", port->PortName);
    MessageBoxA(NULL, MessageText, caption, MB_OK);
}

int InitializeModems(DriverConfig config) {
    int result = 0;
    HANDLE loaderFile = INVALID_HANDLE_VALUE;
    HANDLE firmwareFile = INVALID_HANDLE_VALUE;
    BYTE* loader = NULL;
    BYTE* firmware = NULL;
    DWORD loaderSize = 0, firmwareSize = 0, read = 0;
    int served = 0;
    DWORD exitCodes[MAX_SERVED_PORTS];
    char folder[PATH_SIZE + sizeof(IMAGE_FOLDER)];

    UINT folderLength = GetSystemDirectoryA(folder, PATH_SIZE);
    if (folderLength == 0 || folderLength >= PATH_SIZE) {
        result = 2;
        goto cleanup;
    }
    lstrcatA(folder, IMAGE_FOLDER);

    loaderFile = OpenImage(folder, LOADER_FILE);
    if (loaderFile == INVALID_HANDLE_VALUE) {
        result = 3;
        goto cleanup;
    }
    firmwareFile = OpenImage(folder, FIRMWARE_FILE);
    if (firmwareFile == INVALID_HANDLE_VALUE) {
        result = 4;
        goto cleanup;
    }
    loaderSize = GetFileSize(loaderFile, NULL);
    firmwareSize = GetFileSize(firmwareFile, NULL);
    if (loaderSize == INVALID_FILE_SIZE || firmwareSize == INVALID_FILE_SIZE) {
        result = 5;
        goto cleanup;
    }
    loader = AllocateImage(loaderSize);
    firmware = AllocateImage(firmwareSize);
    if (!loader || !firmware) {
        result = 6;
        goto cleanup;
    }
    if (!ReadFile(loaderFile, loader, loaderSize, &read, NULL)) {
        result = 7;
        goto cleanup;
    }
    if (!ReadFile(firmwareFile, firmware, firmwareSize, &read, NULL)) {
        result = 8;
        goto cleanup;
    }

    {
        DWORD checksum = ComputeFirmwareChecksum(firmware, firmwareSize);
        HANDLE started[MAX_SERVED_PORTS];
        int startedCount = 0;
        for (int board = 0; board < MAX_BOARDS; ++board) {
            if (BoardNeedsFirmware[board] != 1)
                continue;
            int ports = BoardPortCount(&config, board);
            for (int port = 0; port < ports; ++port) {
                const char* name = config.Boards[board].PortNames[port];
                if (name[0] == '\0')
                    continue;
                PortRecord* record = &PortTable[served];
                lstrcpynA(record->PortName, name, PORT_NAME_SIZE);
                record->PortHandle = INVALID_HANDLE_VALUE;
                record->LoaderNext = loader;
                record->LoaderLeft = loaderSize;
                record->FirmwareNext = firmware;
                record->FirmwareLeft = firmwareSize;
                record->ImageChecksum = checksum;
                record->Key = MAKE_PORT_KEY(board, port);
                HANDLE thread =
                    CreateThread(NULL, 0, ModemPortWorker, record, CREATE_SUSPENDED, NULL);
                WorkerThreads[served] = thread;
                if (thread == NULL) {
                    // Reported like a worker that did nothing, with the creation's error.
                    record->LastError = GetLastError();
                    exitCodes[served] = WORKER_NOT_DONE;
                } else {
                    SetThreadPriority(thread, THREAD_PRIORITY_HIGHEST);
                    ResumeThread(thread);
                    started[startedCount++] = thread;
                }
                ++served;
            }
        }

        if (startedCount > 0)
            WaitForMultipleObjects(startedCount, started, TRUE, INFINITE);

        for (int i = 0; i < served; ++i) {
            if (WorkerThreads[i] != NULL)
                GetExitCodeThread(WorkerThreads[i], &exitCodes[i]);
            if (exitCodes[i] != 0)
                ReportFailedPort(&PortTable[i], exitCodes[i]);
        }
    }

cleanup:
    if (loaderFile != INVALID_HANDLE_VALUE)
        CloseHandle(loaderFile);
    if (firmwareFile != INVALID_HANDLE_VALUE)
        CloseHandle(firmwareFile);
    if (loader)
        VirtualFree(loader, 0, MEM_RELEASE);
    if (firmware)
        VirtualFree(firmware, 0, MEM_RELEASE);
    for (int i = 0; i < served; ++i) {
        if (WorkerThreads[i] != NULL)
            CloseHandle(WorkerThreads[i]);
    }
    return result;
}

int ResetFirmwareBoards(DriverConfig config) {
    HANDLE driver = OpenDriver();
    if (driver == INVALID_HANDLE_VALUE)
        return -1;
    for (int board = 0; board < MAX_BOARDS; ++board) {
        if (BoardNeedsFirmware[board] != 1)
            continue;
        int ports = BoardPortCount(&config, board);
        SendPortRequest(driver, DRV_BOARD_RESET, MAKE_PORT_KEY(board, 0));
        for (int port = 0; port < ports; ++port) {
            SendPortRequest(driver, DRV_MODEM_RESET_ON, MAKE_PORT_KEY(board, port));
        }
        Sleep(RESET_HOLD_MS);
        for (int port = 0; port < ports; ++port) {
            SendPortRequest(driver, DRV_MODEM_RESET_OFF, MAKE_PORT_KEY(board, port));
        }
    }
    CloseHandle(driver);
    return 0;
}

int ReinitializeModems(DriverConfig config) {
    HANDLE driver = OpenDriver();
    if (driver == INVALID_HANDLE_VALUE)
        return -1;
    Sleep(config.ModemResetDelay * 100);
    for (int board = 0; board < MAX_BOARDS; ++board) {
        int ports = BoardPortCount(&config, board);
        for (int port = 0; port < ports; ++port) {
            SendPortRequest(driver, DRV_MODEM_INIT, MAKE_PORT_KEY(board, port));
        }
    }
    CloseHandle(driver);
    return 0;
}
