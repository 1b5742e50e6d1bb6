/*
 * The camera driver's C ABI: the CAM_ functions that the updater calls and
 * the event callback the driver calls back. A driver library (the vendor's,
 * or our simulated board) exports exactly these symbols.
 *
 * ABI rules
 *  - Plain C, C calling convention, no C++ types, no exceptions across it.
 *  - Integers are fixed-width: every argument but pointers is 32 bits, as
 *    on the original platform. Pointers (board-id slots, version buffers,
 *    the image descriptor's data, the callback's context) are pointer-wide.
 *  - CamComponentImage keeps the original record's order: tag, kind, size
 *    (4 bytes each), then data, which is pointer-wide here (so the record is
 *    24 bytes on a 64-bit platform, with 4 bytes of padding before data).
 *  - Buffers belong to the caller. The driver writes at most the sizes
 *    given: slotSize bytes per board-id slot, 256 bytes of version text.
 *  - The image the descriptor points at stays valid and unchanged from
 *    CAM_EST_UpdateEx until the driver's last event for that component.
 *  - The driver may call the event callback on a thread of its own, and
 *    calls it no more once CAM_DeleteCameraEx has returned.
 *  - Results: nonzero is success unless a function says otherwise.
 *
 * tests compile this header as plain C (see cam_driver_c_test.c).
 */
#ifndef KX_CAMERA_CAM_DRIVER_H_
#define KX_CAMERA_CAM_DRIVER_H_

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A driver's camera object; 0 means none. */
typedef int32_t CAM_HANDLE;

/* The descriptor of one component image handed to CAM_EST_UpdateEx. */
typedef struct CamComponentImage {
  char tag[4];         /* the characters 'Z', 'E', 'B', 'A' */
  int32_t kind;        /* 1 FPGA1, 2 FPGA2, 0 application firmware, 3 boot firmware */
  uint32_t size;       /* bytes of image */
  const uint8_t* data; /* the image's first byte */
} CamComponentImage;

/* Event types the updater acts on. */
enum {
  CAM_EVENT_UPDATE_ACCEPTED = 14, /* the component was taken */
  CAM_EVENT_UPDATE_STARTED = 15,  /* writing has begun */
  CAM_EVENT_PROGRESS_16 = 16,     /* like 17, never expected by the update run */
  CAM_EVENT_PROGRESS = 17         /* value: percent written; status: 0 or an error code */
};

/* Version kinds of CAM_GetVersionEx. */
enum { CAM_VERSION_FPGA = 3, CAM_VERSION_FIRM_APPL = 5, CAM_VERSION_FIRM_BOOT = 9 };

/* The size of the buffer CAM_GetVersionEx writes into. */
enum { CAM_VERSION_BUFFER_SIZE = 256 };

/* The event callback: (not read, type, value, not read, status, context). */
typedef void (*CamEventCallback)(int32_t reserved1, int32_t type, int32_t value,
                                 int32_t reserved2, int32_t status, void* context);

/* Writes the ids of the boards present, one per slot from slot 0, and an
 * empty text in the slot after the last; slot 0 empty: no board. */
int32_t CAM_EnumCameraEx(int32_t mode, char** slots, int32_t slotCount, int32_t slotSize);
CAM_HANDLE CAM_CreateCameraEx(const char* boardId, int32_t mode);
/* Writes the last error code (0: none) for the handle, also for handle 0. */
int32_t CAM_GetLastErrorEx(CAM_HANDLE camera, int32_t mode, int32_t* code);
int32_t CAM_RegisterCallbackEx(CAM_HANDLE camera, CamEventCallback callback, void* context);
int32_t CAM_SetTimeoutEx(CAM_HANDLE camera, int32_t mode, int32_t timeout);
/* Writes a zero-terminated version text of at most 255 characters. */
int32_t CAM_GetVersionEx(CAM_HANDLE camera, int32_t mode, int32_t kind, char* buffer);
int32_t CAM_EST_SetBehaviorModeEx(CAM_HANDLE camera, int32_t one, int32_t mode, int32_t zero);
/* Nonzero: the component was taken and events will follow. */
int32_t CAM_EST_UpdateEx(CAM_HANDLE camera, int32_t zero, const CamComponentImage* image);
int32_t CAM_DeleteCameraEx(CAM_HANDLE camera, int32_t one);

#ifdef __cplusplus
}
#endif

#endif /* KX_CAMERA_CAM_DRIVER_H_ */
