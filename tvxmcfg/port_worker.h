// The per-port firmware download: one worker thread per modem port.
#ifndef TVXMCFG_PORT_WORKER_H
#define TVXMCFG_PORT_WORKER_H

#include <windows.h>

#include "driver.h"

#define REPLY_SIZE 1024
#define MAX_SERVED_PORTS (MAX_BOARDS * MAX_PORTS_PER_BOARD)

// Worker results; 0 is success.
#define WORKER_NOT_DONE 1
#define WORKER_PORT_OPEN 9
#define WORKER_GET_STATE 10
#define WORKER_SET_STATE 11
#define WORKER_SET_TIMEOUTS 12
#define WORKER_PROBE_WRITE 13
#define WORKER_PROBE_REPLY 14
#define WORKER_PURGE 15
#define WORKER_DRIVER_OPEN 16
#define WORKER_DOWNLOAD_WRITE 17
#define WORKER_DOWNLOAD_REPLY 18
#define WORKER_IMAGE_WRITE 19
#define WORKER_READ_FAILED 20
#define WORKER_BAD_ANSWER 21

typedef struct PortRecord {
    char PortName[PORT_NAME_SIZE];
    BYTE Reply[REPLY_SIZE];
    COMMTIMEOUTS Timeouts;
    HANDLE PortHandle;
    const BYTE* LoaderNext;
    DWORD LoaderLeft;
    const BYTE* FirmwareNext;
    DWORD FirmwareLeft;
    DWORD ImageChecksum;
    PortKey Key;
    DWORD LastError;
    DCB PortState;
} PortRecord;

DWORD WINAPI ModemPortWorker(LPVOID record);

// 1 when the reply text of a read (the bytes received, up to the first zero byte) contains text.
int ReplyContains(const BYTE* reply, DWORD received, const char* text);

// 1 when the checksum reported after "Checksum" and two further characters equals expected,
// printed in upper-case hexadecimal without leading zeros.
int ReportedChecksumMatches(const BYTE* reply, DWORD received, DWORD expected);

#endif
