// The driver the wizard talks to when no driver library could be loaded:
// it finds no board and says its library failed to start, so the update
// dialog ends as it does without a board (error 01), naming the cause.
#pragma once

#include "camera/camera_driver.h"

namespace kx {

// kCAM_API_LIB_INITIALIZE_ERROR: the error the dialog's log names.
inline constexpr std::int32_t kDriverLibraryUnavailable = 5;

class UnavailableDriver final : public CameraDriver {
 public:
  std::int32_t CAM_EnumCameraEx(std::int32_t, char**, std::int32_t, std::int32_t) override { return 0; }
  CAM_HANDLE CAM_CreateCameraEx(const char*, std::int32_t) override { return 0; }
  std::int32_t CAM_GetLastErrorEx(CAM_HANDLE, std::int32_t, std::int32_t* code) override {
    *code = kDriverLibraryUnavailable;
    return 1;
  }
  std::int32_t CAM_RegisterCallbackEx(CAM_HANDLE, CamEventCallback, void*) override { return 0; }
  std::int32_t CAM_SetTimeoutEx(CAM_HANDLE, std::int32_t, std::int32_t) override { return 0; }
  std::int32_t CAM_GetVersionEx(CAM_HANDLE, std::int32_t, std::int32_t, char* buffer) override {
    buffer[0] = '\0';
    return 0;
  }
  std::int32_t CAM_EST_SetBehaviorModeEx(CAM_HANDLE, std::int32_t, std::int32_t, std::int32_t) override {
    return 0;
  }
  std::int32_t CAM_EST_UpdateEx(CAM_HANDLE, std::int32_t, const CamComponentImage*) override { return 0; }
  std::int32_t CAM_DeleteCameraEx(CAM_HANDLE, std::int32_t) override { return 0; }
};

}  // namespace kx
