/* The driver header must stay plain C: this file is compiled as C11 with
 * -pedantic and checks the record layout the ABI promises. */
#include "camera/cam_driver.h"

#include <stddef.h>

_Static_assert(offsetof(CamComponentImage, tag) == 0, "tag first");
_Static_assert(offsetof(CamComponentImage, kind) == 4, "kind at 4");
_Static_assert(offsetof(CamComponentImage, size) == 8, "size at 8");
_Static_assert(offsetof(CamComponentImage, data) == (sizeof(void*) == 8 ? 16 : 12),
               "data after size, pointer-aligned");
_Static_assert(sizeof(CAM_HANDLE) == 4, "handles are 32 bits");

/* Every function's type, as a caller of the library names it. */
static void (*const kTable[])(void) = {
    (void (*)(void))CAM_EnumCameraEx,       (void (*)(void))CAM_CreateCameraEx,
    (void (*)(void))CAM_GetLastErrorEx,     (void (*)(void))CAM_RegisterCallbackEx,
    (void (*)(void))CAM_SetTimeoutEx,       (void (*)(void))CAM_GetVersionEx,
    (void (*)(void))CAM_EST_SetBehaviorModeEx, (void (*)(void))CAM_EST_UpdateEx,
    (void (*)(void))CAM_DeleteCameraEx,
};

int kx_cam_driver_header_is_c(void) { return (int)(sizeof kTable / sizeof kTable[0]); }
