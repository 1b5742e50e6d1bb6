// An in-process driver for tests: boards, errors, versions and the events
// each update call answers with are set by the test; calls are recorded.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "camera/camera_driver.h"
#include "camera/driver_event_state.h"

namespace kx::testing {

class FakeDriver : public CameraDriver {
 public:
  // --- what the driver reports ---
  bool enumerateFails = false;
  std::vector<std::string> slots;        // written into the slots in order
  std::int32_t errorAfterCreate = 0;     // CAM_GetLastErrorEx after creating
  std::int32_t errorWithoutCamera = 0;   // CAM_GetLastErrorEx for handle 0
  bool lastErrorFails = false;           // CAM_GetLastErrorEx returns 0
  std::map<std::int32_t, std::string> versions;  // by version kind
  std::int32_t errorAfterVersionRead = 0;
  // Per CAM_EST_UpdateEx call, in order: refuse it, or the events it sends
  // (delivered on the caller's thread before the call returns, or by
  // `deliver` when a test wants them elsewhere).
  struct UpdateAnswer {
    bool refuse = false;
    std::vector<DriverEvent> events;
  };
  std::vector<UpdateAnswer> answers;
  std::function<void(const std::vector<DriverEvent>&)> deliver;

  // --- what was called ---
  std::vector<std::string> calls;  // function names in order
  std::string createdWith;
  std::int32_t behaviorMode = -1;
  std::vector<std::vector<std::uint8_t>> written;  // images handed to CAM_EST_UpdateEx
  std::vector<std::int32_t> writtenKinds;
  bool deleted = false;
  CamEventCallback callback = nullptr;
  void* context = nullptr;

  // Sends one event through the registered callback.
  void Send(const DriverEvent& event);

  std::int32_t CAM_EnumCameraEx(std::int32_t mode, char** slots, std::int32_t slotCount,
                                std::int32_t slotSize) override;
  CAM_HANDLE CAM_CreateCameraEx(const char* boardId, std::int32_t mode) override;
  std::int32_t CAM_GetLastErrorEx(CAM_HANDLE camera, std::int32_t mode, std::int32_t* code) override;
  std::int32_t CAM_RegisterCallbackEx(CAM_HANDLE camera, CamEventCallback callback,
                                      void* context) override;
  std::int32_t CAM_SetTimeoutEx(CAM_HANDLE camera, std::int32_t mode, std::int32_t timeout) override;
  std::int32_t CAM_GetVersionEx(CAM_HANDLE camera, std::int32_t mode, std::int32_t kind,
                                char* buffer) override;
  std::int32_t CAM_EST_SetBehaviorModeEx(CAM_HANDLE camera, std::int32_t one, std::int32_t mode,
                                         std::int32_t zero) override;
  std::int32_t CAM_EST_UpdateEx(CAM_HANDLE camera, std::int32_t zero,
                                const CamComponentImage* image) override;
  std::int32_t CAM_DeleteCameraEx(CAM_HANDLE camera, std::int32_t one) override;

 private:
  std::int32_t lastError_ = 0;
  std::size_t updateCalls_ = 0;
  bool created_ = false;
};

// The events of a component written without trouble: 14, 15, then 17 at
// each of `steps` up to 100.
std::vector<DriverEvent> CleanUpdateEvents(const std::vector<std::int32_t>& steps = {50, 100});

}  // namespace kx::testing
