/* wingdi: declarations are added here by the area of the layer that emulates them. */
#ifndef W95_WINGDI_H
#define W95_WINGDI_H

#include "windef.h"

/* Raster operations. */
#define SRCCOPY 0x00CC0020L

#ifndef RC_INVOKED
#ifdef __cplusplus
extern "C" {
#endif

/* Memory device contexts, bitmaps and block transfers. */
HDC WINAPI CreateCompatibleDC(HDC hdc);
BOOL WINAPI DeleteDC(HDC hdc);
HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h);
BOOL WINAPI DeleteObject(HGDIOBJ hObject);
BOOL WINAPI BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, DWORD rop);

#ifdef __cplusplus
}
#endif
#endif /* RC_INVOKED */
#endif
