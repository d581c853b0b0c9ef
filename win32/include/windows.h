/* The Win32 subset of the emulated Windows 95 machine: the declarations and constants that the
   programs use, with the documented values and signatures. Safe to include from resource scripts:
   everything but constants is hidden from the resource compiler (RC_INVOKED). */
#ifndef W95_WINDOWS_H
#define W95_WINDOWS_H

#include "windef.h"
#include "winerror.h"
#include "winbase.h"
#include "winreg.h"
#include "wingdi.h"
#include "winuser.h"
#include "winver.h"

#endif
