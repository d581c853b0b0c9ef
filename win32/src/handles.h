// The kernel's handle table: one table for every kind of object a HANDLE (or HKEY) can name.
// Each entry carries a generation count, so a closed or forged handle is never mistaken for a
// live one; lookups by the wrong kind fail like stale handles do (ERROR_INVALID_HANDLE).
#pragma once

#include <windows.h>

#include <memory>

namespace w95 {

class KernelObject {
  public:
    virtual ~KernelObject() = default;
    // Called when the last handle to the object is closed (CloseHandle, RegCloseKey, ...).
    virtual void OnClose() {}
};

// Enters an object in the table and returns its new handle (never NULL nor INVALID_HANDLE_VALUE).
HANDLE AddHandle(std::shared_ptr<KernelObject> object);

// The object a handle names, or nullptr for a stale, closed or unknown handle.
std::shared_ptr<KernelObject> LookupHandle(HANDLE handle);

template <class T>
std::shared_ptr<T> LookupHandleAs(HANDLE handle) {
    return std::dynamic_pointer_cast<T>(LookupHandle(handle));
}

// Removes a handle from the table and calls OnClose; false (and ERROR_INVALID_HANDLE set) when the
// handle was not live.
bool CloseKernelHandle(HANDLE handle);

// Sets the calling thread's last error; returns the value to pass on (FALSE, NULL, ...) for
// brevity.
template <class R>
R Fail(DWORD error, R result) {
    SetLastError(error);
    return result;
}

}  // namespace w95
