/* wingdi: declarations are added here by the area of the layer that emulates them. */
#ifndef W95_WINGDI_H
#define W95_WINGDI_H

#include "windef.h"

#ifndef RC_INVOKED
#ifdef __cplusplus
extern "C" {
#endif

#ifdef __cplusplus
}
#endif
#endif /* RC_INVOKED */
#endif
