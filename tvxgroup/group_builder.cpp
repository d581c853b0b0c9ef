#include "group_builder.h"

#include <string.h>

#define COMMAND_BUFFER_SIZE 250
#define GROUP_COMMAND_TIMEOUT 10000
#define ITEM_COMMAND_TIMEOUT 1000
// The transaction length that says the data is a data handle.
#define DATA_IS_HANDLE 0xFFFFFFFF

const char* const PortGroupTable[] = {
    "Norvane TarvexPort TarvexModem",
    "tarvex.grp",
    "Serial Console",
    "sercon32.exe",
    "Line Watch",
    "linewtch.exe",
    NULL,
};

const char* const ModemGroupTable[] = {
    "Norvane TarvexPort TarvexModem",
    "tarvex.grp",
    "Serial Console",
    "sercon32.exe",
    "Line Watch",
    "linewtch.exe",
    "TarvexModem Reset",
    "tvxreset.exe",
    "TarvexModem Config",
    "tvxmcfg.exe",
    NULL,
};

static DWORD DdeInstance;
static HCONV Conversation;
static char* CommandBuffer;

HDDEDATA CALLBACK DdeNullCallback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) {
    return NULL;
}

// Formats one command with up to three text arguments (NULL for those the format does not take)
// and sends it as an execute transaction, its terminating NUL included. A command that would not
// fit the buffer is not sent. A failed transaction is not reported: the next command follows.
static void SendCommand(DWORD timeout, const char* format, const char* first, const char* second,
                        const char* third) {
    const char* arguments[3] = {first, second, third};
    size_t length = strlen(format);
    int i;
    for (i = 0; i < 3; i++) {
        if (arguments[i] != NULL)
            length += strlen(arguments[i]) - 2;  // each replaces a "%s"
    }
    if (length >= COMMAND_BUFFER_SIZE)
        return;

    wsprintfA(CommandBuffer, format, first, second, third);
    HDDEDATA data = DdeCreateDataHandle(DdeInstance, (LPBYTE)CommandBuffer,
                                        (DWORD)lstrlenA(CommandBuffer) + 1, 0, NULL, CF_TEXT, 0);
    DWORD result;
    DdeClientTransaction((LPBYTE)data, DATA_IS_HANDLE, Conversation, NULL, 0, XTYP_EXECUTE, timeout,
                         &result);
}

int BuildProgramGroup(const char* const* table, const char* itemsFolder, int removeOnly) {
    CommandBuffer = (char*)VirtualAlloc(NULL, COMMAND_BUFFER_SIZE, MEM_COMMIT, PAGE_READWRITE);
    if (CommandBuffer == NULL)
        return GROUP_NO_BUFFER;

    DdeInstance = 0;
    if (DdeInitializeA(&DdeInstance, DdeNullCallback, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR) {
        VirtualFree(CommandBuffer, 0, MEM_RELEASE);
        return GROUP_NO_DDE;
    }
    HSZ programManager = DdeCreateStringHandleA(DdeInstance, "PROGMAN", CP_WINANSI);
    if (programManager == NULL) {
        VirtualFree(CommandBuffer, 0, MEM_RELEASE);
        return GROUP_NO_STRING_HANDLE;
    }
    // Without a program manager this is NULL and every transaction below fails.
    Conversation = DdeConnect(DdeInstance, programManager, programManager, NULL);

    // Removes an earlier group of the same name; for a removal this is all there is to do.
    SendCommand(GROUP_COMMAND_TIMEOUT, "[DeleteGroup(%s)]", table[0], NULL, NULL);
    if (!removeOnly) {
        SendCommand(GROUP_COMMAND_TIMEOUT, "[CreateGroup(%s,%s)]", table[0], table[1], NULL);
        SendCommand(GROUP_COMMAND_TIMEOUT, "[ShowGroup(%s,2)]", table[0], NULL, NULL);
        const char* const* item;
        for (item = table + 2; item[0] != NULL; item += 2) {
            SendCommand(ITEM_COMMAND_TIMEOUT, "[AddItem(%s\\%s,%s)]", itemsFolder, item[1],
                        item[0]);
        }
    }

    DdeFreeStringHandle(DdeInstance, programManager);
    DdeDisconnect(Conversation);
    VirtualFree(CommandBuffer, 0, MEM_RELEASE);
    CommandBuffer = NULL;
    DdeUninitialize(DdeInstance);
    return GROUP_BUILT;
}

int CreateProgramGroup(const char* const* table, const char* itemsFolder) {
    return BuildProgramGroup(table, itemsFolder, 0);
}

int RemoveProgramGroup(const char* const* table, const char* itemsFolder) {
    return BuildProgramGroup(table, itemsFolder, 1);
}
