// The board driver's interface: its device path, the request codes, the port key and the
// configuration record that the driver fills in. The record crosses into the driver byte for byte,
// so its layout is fixed and checked at compile time.
#ifndef TARVEX_DRIVER_H
#define TARVEX_DRIVER_H

#include <windows.h>

#include <stddef.h>

#define DRIVER_DEVICE_PATH "\\\\.\\tarvexpt.vxd"

// Request codes, passed to DeviceIoControl as plain numbers.
#define DRV_MODEM_RESET_ON 513
#define DRV_MODEM_RESET_OFF 514
#define DRV_GET_CONFIG 515
#define DRV_MODEM_INIT 516
#define DRV_BOARD_RESET 517

#define MAX_BOARDS 4
#define MAX_PORTS_PER_BOARD 8
#define PORT_NAME_SIZE 16
#define DRIVER_CONFIG_SIZE 540

// Names one port of one board: board index in bits 16 to 31, port index in bits 0 to 15.
typedef DWORD PortKey;
#define MAKE_PORT_KEY(board, port) ((PortKey)((DWORD)(board)*65536u + (DWORD)(port)))

typedef struct BoardEntry {
    DWORD PortCount;                                      // 0 to 8; 0: no board holds this index
    char PortNames[MAX_PORTS_PER_BOARD][PORT_NAME_SIZE];  // serial device names, NUL-terminated
} BoardEntry;

typedef struct DriverConfig {
    DWORD RecordSize;       // 540, set by the caller
    DWORD ModemResetDelay;  // units of 100 ms
    DWORD Reserved;
    BoardEntry Boards[MAX_BOARDS];
} DriverConfig;

static_assert(sizeof(DWORD) == 4, "DWORD is 32 bits");
static_assert(sizeof(PortKey) == 4, "PortKey is 32 bits");
static_assert(sizeof(((BoardEntry*)0)->PortNames) == 128, "PortNames is 8 x 16 bytes");
static_assert(sizeof(BoardEntry) == 132, "BoardEntry is 132 bytes");
static_assert(offsetof(BoardEntry, PortNames) == 4, "PortNames follows PortCount");
static_assert(sizeof(DriverConfig) == DRIVER_CONFIG_SIZE, "DriverConfig is 540 bytes");
static_assert(offsetof(DriverConfig, ModemResetDelay) == 4, "ModemResetDelay at 4");
static_assert(offsetof(DriverConfig, Reserved) == 8, "Reserved at 8");
static_assert(offsetof(DriverConfig, Boards) == 12, "Boards at 12");
static_assert(offsetof(DriverConfig, Boards[1]) == 12 + 132, "BoardEntry n at 12 + n x 132");
static_assert(offsetof(DriverConfig, Boards[3]) == 12 + 3 * 132, "BoardEntry n at 12 + n x 132");

// 1 on the Windows NT family, 0 on Windows 95 and 98.
int IsWindowsNT(void);

#endif
