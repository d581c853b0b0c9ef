// The calling thread's last error code, kept apart from the host's errno.
#include <windows.h>

namespace {
thread_local DWORD last_error = ERROR_SUCCESS;
}

extern "C" DWORD WINAPI GetLastError(void) {
    return last_error;
}

extern "C" void WINAPI SetLastError(DWORD dwErrCode) {
    last_error = dwErrCode;
}
