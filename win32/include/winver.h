/* winver: declarations are added here by the area of the layer that emulates them. */
#ifndef W95_WINVER_H
#define W95_WINVER_H

#include "windef.h"

/* Version resource constants. */
#define VS_VERSION_INFO 1
#define VS_FILE_INFO 16
#define VS_FFI_SIGNATURE 0xFEEF04BDL
#define VS_FFI_STRUCVERSION 0x00010000L
#define VS_FFI_FILEFLAGSMASK 0x0000003FL
#define VS_FF_DEBUG 0x00000001L
#define VOS__WINDOWS32 0x00000004L
#define VOS_DOS_WINDOWS32 0x00010004L
#define VFT_UNKNOWN 0x00000000L
#define VFT_APP 0x00000001L
#define VFT_DLL 0x00000002L
#define VFT2_UNKNOWN 0x00000000L

#ifndef RC_INVOKED
#ifdef __cplusplus
extern "C" {
#endif

/* The version block of a file: its size, a copy of it, and a value within the copy. */
DWORD WINAPI GetFileVersionInfoSizeA(LPCSTR lptstrFilename, LPDWORD lpdwHandle);
BOOL WINAPI GetFileVersionInfoA(LPCSTR lptstrFilename, DWORD dwHandle, DWORD dwLen, LPVOID lpData);
BOOL WINAPI VerQueryValueA(LPCVOID pBlock, LPCSTR lpSubBlock, LPVOID* lplpBuffer, UINT* puLen);

#ifdef __cplusplus
}
#endif
#endif /* RC_INVOKED */
#endif
