// Objects that ReadFile, WriteFile, GetFileSize and DeviceIoControl act on: disk files, serial
// ports, the board driver. Each kind overrides what it supports; the rest fails as Windows does
// for a handle of the wrong kind.
#pragma once

#include "handles.h"

namespace w95 {

class IoObject : public KernelObject {
  public:
    virtual BOOL Read(void* buffer, DWORD count, DWORD* done) {
        (void)buffer, (void)count, *done = 0;
        return Fail(ERROR_INVALID_FUNCTION, FALSE);
    }
    virtual BOOL Write(const void* buffer, DWORD count, DWORD* done) {
        (void)buffer, (void)count, *done = 0;
        return Fail(ERROR_INVALID_FUNCTION, FALSE);
    }
    virtual DWORD Size(DWORD* high) {
        if (high)
            *high = 0;
        return Fail(ERROR_INVALID_FUNCTION, INVALID_FILE_SIZE);
    }
    virtual BOOL Control(DWORD code, void* in, DWORD in_size, void* out, DWORD out_size,
                         DWORD* returned) {
        (void)code, (void)in, (void)in_size, (void)out, (void)out_size;
        if (returned)
            *returned = 0;
        return Fail(ERROR_INVALID_FUNCTION, FALSE);
    }
};

}  // namespace w95
