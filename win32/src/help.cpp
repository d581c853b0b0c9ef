// WinHelpA: the help system lies outside the machine; each request is journalled in ui.jsonl.
#include <windows.h>

#include "journal.h"

extern "C" BOOL WINAPI WinHelpA(HWND, LPCSTR lpszHelp, UINT uCommand, ULONG_PTR dwData) {
    nlohmann::ordered_json event = {{"event", "winhelp"}};
    event["file"] = lpszHelp ? nlohmann::ordered_json(lpszHelp) : nlohmann::ordered_json();
    event["command"] = uCommand;
    event["data"] = static_cast<unsigned long long>(dwData);
    w95::JournalEvent("ui", event);
    return TRUE;
}
