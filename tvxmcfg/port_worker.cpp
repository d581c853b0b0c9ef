// The firmware download of one modem port: probe for running firmware, pulse the modem's reset,
// send the loader and the firmware, and compare the checksum the modem reports.
#include "port_worker.h"

#define PROBE_REPLY_LENGTH 18
#define IMAGE_CHUNK 4096
#define CHECKSUM_SKIP 10  // "Checksum" and the two characters after it
#define CHECKSUM_DIGITS 4

// Writes never wait without end: a port that accepts no output (CTS held low) fails its write.
#define WRITE_TIMEOUT_PER_BYTE 1
#define WRITE_TIMEOUT_CONSTANT 2000

// Position of the first zero byte among the received bytes, or the count received.
static DWORD ReplyTextLength(const BYTE* reply, DWORD received) {
    DWORD length = 0;
    while (length < received && reply[length] != 0)
        ++length;
    return length;
}

// Offset of text within the reply text, or -1.
static int FindInReply(const BYTE* reply, DWORD received, const char* text) {
    DWORD length = ReplyTextLength(reply, received);
    DWORD textLength = (DWORD)lstrlenA(text);
    if (textLength > length)
        return -1;
    for (DWORD start = 0; start + textLength <= length; ++start) {
        DWORD matched = 0;
        while (matched < textLength && reply[start + matched] == (BYTE)text[matched])
            ++matched;
        if (matched == textLength)
            return (int)start;
    }
    return -1;
}

int ReplyContains(const BYTE* reply, DWORD received, const char* text) {
    return FindInReply(reply, received, text) >= 0;
}

int ReportedChecksumMatches(const BYTE* reply, DWORD received, DWORD expected) {
    int found = FindInReply(reply, received, "Checksum");
    if (found < 0)
        return 0;
    DWORD start = (DWORD)found + CHECKSUM_SKIP;
    char reported[CHECKSUM_DIGITS + 1];
    int reportedLength = 0;
    while (reportedLength < CHECKSUM_DIGITS && start + reportedLength < received &&
           reply[start + reportedLength] != 0) {
        reported[reportedLength] = (char)reply[start + reportedLength];
        ++reportedLength;
    }
    reported[reportedLength] = '\0';

    char wanted[16];
    wsprintfA(wanted, "%X", (unsigned int)expected);
    for (int i = 0; i < CHECKSUM_DIGITS; ++i) {
        if (reported[i] != wanted[i])
            return 0;
        if (reported[i] == '\0')
            return 1;
    }
    return 1;
}

// Busy wait on the tick count, as precise as the counter allows.
static void WaitTicks(DWORD milliseconds) {
    DWORD start = GetTickCount();
    while (GetTickCount() - start < milliseconds) {
    }
}

static int ApplyPortSettings(PortRecord* port) {
    ZeroMemory(&port->PortState, sizeof(port->PortState));
    if (!GetCommState(port->PortHandle, &port->PortState))
        return WORKER_GET_STATE;
    port->PortState.BaudRate = CBR_115200;
    port->PortState.ByteSize = 8;
    port->PortState.Parity = NOPARITY;
    port->PortState.StopBits = ONESTOPBIT;
    port->PortState.fBinary = 1;
    port->PortState.fOutxCtsFlow = 1;
    port->PortState.fRtsControl = RTS_CONTROL_HANDSHAKE;
    if (!SetCommState(port->PortHandle, &port->PortState))
        return WORKER_SET_STATE;
    return 0;
}

static int Purge(PortRecord* port) {
    return PurgeComm(port->PortHandle, PURGE_RXCLEAR) ? 0 : WORKER_PURGE;
}

// Sends a command; 1 when all of it was written.
static int SendCommand(PortRecord* port, const char* command) {
    DWORD length = (DWORD)lstrlenA(command);
    DWORD written = 0;
    return WriteFile(port->PortHandle, command, length, &written, NULL) && written == length;
}

// Reads one reply into the cleared Reply; returns FALSE when the read failed.
static BOOL ReadReply(PortRecord* port, DWORD count, DWORD* received) {
    ZeroMemory(port->Reply, sizeof(port->Reply));
    *received = 0;
    return ReadFile(port->PortHandle, port->Reply, count, received, NULL);
}

static int SendImage(PortRecord* port, const BYTE** next, DWORD* left) {
    while (*left != 0) {
        DWORD chunk = *left < IMAGE_CHUNK ? *left : IMAGE_CHUNK;
        DWORD written = 0;
        if (!WriteFile(port->PortHandle, *next, chunk, &written, NULL) || written != chunk) {
            return WORKER_IMAGE_WRITE;
        }
        *next += chunk;
        *left -= chunk;
    }
    return 0;
}

// Every step up to the verdict; the caller runs the termination step on whatever this returns.
static DWORD RunDownload(PortRecord* port, HANDLE* driver) {
    char path[4 + PORT_NAME_SIZE];
    lstrcpyA(path, "\\\\.\\");
    lstrcatA(path, port->PortName);
    port->PortHandle =
        CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (port->PortHandle == INVALID_HANDLE_VALUE)
        return WORKER_PORT_OPEN;

    int failure = ApplyPortSettings(port);
    if (failure)
        return failure;
    ZeroMemory(&port->Timeouts, sizeof(port->Timeouts));
    port->Timeouts.ReadIntervalTimeout = 500;
    port->Timeouts.ReadTotalTimeoutConstant = 4000;
    port->Timeouts.WriteTotalTimeoutMultiplier = WRITE_TIMEOUT_PER_BYTE;
    port->Timeouts.WriteTotalTimeoutConstant = WRITE_TIMEOUT_CONSTANT;
    if (!SetCommTimeouts(port->PortHandle, &port->Timeouts))
        return WORKER_SET_TIMEOUTS;
    if ((failure = Purge(port)) != 0)
        return failure;

    // Probe: all 18 bytes of the answer mean that the firmware already runs.
    WaitTicks(2000);
    if (!SendCommand(port, "ATI5\r"))
        return WORKER_PROBE_WRITE;
    DWORD received;
    if (!ReadReply(port, PROBE_REPLY_LENGTH, &received) || received == 0 ||
        !ReplyContains(port->Reply, received, "\r\nOK\r\n")) {
        return WORKER_PROBE_REPLY;
    }
    if (received == PROBE_REPLY_LENGTH)
        return 0;

    if ((failure = Purge(port)) != 0)
        return failure;
    *driver = CreateFileA(DRIVER_DEVICE_PATH, GENERIC_READ | GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, NULL);
    if (*driver == INVALID_HANDLE_VALUE)
        return WORKER_DRIVER_OPEN;
    DWORD returned;
    DeviceIoControl(*driver, DRV_MODEM_RESET_ON, &port->Key, sizeof(port->Key), &port->Key,
                    sizeof(port->Key), &returned, NULL);
    WaitTicks(20);
    DeviceIoControl(*driver, DRV_MODEM_RESET_OFF, &port->Key, sizeof(port->Key), &port->Key,
                    sizeof(port->Key), &returned, NULL);
    WaitTicks(20);

    if (!SendCommand(port, "AT**\r"))
        return WORKER_DOWNLOAD_WRITE;
    if (!ReadReply(port, REPLY_SIZE, &received) || received == 0 ||
        !ReplyContains(port->Reply, received, "Download Initiated")) {
        return WORKER_DOWNLOAD_REPLY;
    }
    if ((failure = Purge(port)) != 0)
        return failure;
    if ((failure = SendImage(port, &port->LoaderNext, &port->LoaderLeft)) != 0)
        return failure;

    WaitTicks(3000);
    if (!ReadReply(port, REPLY_SIZE, &received))
        return WORKER_READ_FAILED;
    if (received == 0 ||
        !ReplyContains(port->Reply, received, "Download Modem Firmware at 115.2K")) {
        return WORKER_BAD_ANSWER;
    }

    if ((failure = ApplyPortSettings(port)) != 0)
        return failure;
    if ((failure = Purge(port)) != 0)
        return failure;
    if ((failure = SendImage(port, &port->FirmwareNext, &port->FirmwareLeft)) != 0)
        return failure;

    WaitTicks(2000);
    if (!ReadReply(port, REPLY_SIZE, &received))
        return WORKER_READ_FAILED;
    if (!ReplyContains(port->Reply, received, "Checksum"))
        return WORKER_READ_FAILED;
    return ReportedChecksumMatches(port->Reply, received, port->ImageChecksum) ? 0
                                                                               : WORKER_BAD_ANSWER;
}

DWORD WINAPI ModemPortWorker(LPVOID record) {
    PortRecord* port = (PortRecord*)record;
    HANDLE driver = INVALID_HANDLE_VALUE;
    DWORD result = RunDownload(port, &driver);

    // Termination: the error code that stood at the end, then the driver, then the thread.
    port->LastError = GetLastError();
    if (driver != INVALID_HANDLE_VALUE)
        CloseHandle(driver);
    ExitThread(result);
    return result;
}
