// The driver as the rest of the core sees it: the CAM_ functions as one
// interface, so that a loaded library, the simulated board or an in-process
// fake in a test can stand behind it.
#pragma once

#include <cstdint>

#include "camera/cam_driver.h"

namespace kx {

class CameraDriver {
 public:
  virtual ~CameraDriver() = default;
  virtual std::int32_t CAM_EnumCameraEx(std::int32_t mode, char** slots, std::int32_t slotCount,
                                        std::int32_t slotSize) = 0;
  virtual CAM_HANDLE CAM_CreateCameraEx(const char* boardId, std::int32_t mode) = 0;
  virtual std::int32_t CAM_GetLastErrorEx(CAM_HANDLE camera, std::int32_t mode,
                                          std::int32_t* code) = 0;
  virtual std::int32_t CAM_RegisterCallbackEx(CAM_HANDLE camera, CamEventCallback callback,
                                              void* context) = 0;
  virtual std::int32_t CAM_SetTimeoutEx(CAM_HANDLE camera, std::int32_t mode,
                                        std::int32_t timeout) = 0;
  virtual std::int32_t CAM_GetVersionEx(CAM_HANDLE camera, std::int32_t mode, std::int32_t kind,
                                        char* buffer) = 0;
  virtual std::int32_t CAM_EST_SetBehaviorModeEx(CAM_HANDLE camera, std::int32_t one,
                                                 std::int32_t mode, std::int32_t zero) = 0;
  virtual std::int32_t CAM_EST_UpdateEx(CAM_HANDLE camera, std::int32_t zero,
                                        const CamComponentImage* image) = 0;
  virtual std::int32_t CAM_DeleteCameraEx(CAM_HANDLE camera, std::int32_t one) = 0;
};

}  // namespace kx
