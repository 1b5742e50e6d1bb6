#include "tests/fake_driver.h"

#include <cstring>

namespace kx::testing {

void FakeDriver::Send(const DriverEvent& event) {
  if (callback) callback(0, event.type, event.value, 0, event.status, context);
}

std::int32_t FakeDriver::CAM_EnumCameraEx(std::int32_t, char** out, std::int32_t slotCount,
                                          std::int32_t slotSize) {
  calls.push_back("CAM_EnumCameraEx");
  if (enumerateFails) {
    lastError_ = errorWithoutCamera;
    return 0;
  }
  for (std::int32_t i = 0; i < slotCount; ++i) {
    std::string id = i < static_cast<std::int32_t>(slots.size()) ? slots[i] : "";
    std::strncpy(out[i], id.c_str(), slotSize - 1);
    out[i][slotSize - 1] = '\0';
  }
  lastError_ = slots.empty() ? errorWithoutCamera : 0;
  return 1;
}

CAM_HANDLE FakeDriver::CAM_CreateCameraEx(const char* boardId, std::int32_t) {
  calls.push_back("CAM_CreateCameraEx");
  createdWith = boardId;
  created_ = true;
  lastError_ = errorAfterCreate;
  return 7;
}

std::int32_t FakeDriver::CAM_GetLastErrorEx(CAM_HANDLE camera, std::int32_t, std::int32_t* code) {
  calls.push_back("CAM_GetLastErrorEx");
  if (lastErrorFails) return 0;
  *code = camera == 0 ? errorWithoutCamera : lastError_;
  return 1;
}

std::int32_t FakeDriver::CAM_RegisterCallbackEx(CAM_HANDLE, CamEventCallback f, void* c) {
  calls.push_back("CAM_RegisterCallbackEx");
  callback = f;
  context = c;
  return 1;
}

std::int32_t FakeDriver::CAM_SetTimeoutEx(CAM_HANDLE, std::int32_t, std::int32_t) {
  calls.push_back("CAM_SetTimeoutEx");
  return 1;
}

std::int32_t FakeDriver::CAM_GetVersionEx(CAM_HANDLE, std::int32_t, std::int32_t kind, char* buffer) {
  calls.push_back("CAM_GetVersionEx " + std::to_string(kind));
  std::string text = versions.count(kind) ? versions[kind] : "";
  std::strncpy(buffer, text.c_str(), CAM_VERSION_BUFFER_SIZE - 1);
  buffer[CAM_VERSION_BUFFER_SIZE - 1] = '\0';
  lastError_ = errorAfterVersionRead;
  return 1;
}

std::int32_t FakeDriver::CAM_EST_SetBehaviorModeEx(CAM_HANDLE, std::int32_t, std::int32_t mode,
                                                   std::int32_t) {
  calls.push_back("CAM_EST_SetBehaviorModeEx");
  behaviorMode = mode;
  return 1;
}

std::int32_t FakeDriver::CAM_EST_UpdateEx(CAM_HANDLE, std::int32_t, const CamComponentImage* image) {
  calls.push_back("CAM_EST_UpdateEx");
  UpdateAnswer answer;
  if (updateCalls_ < answers.size()) {
    answer = answers[updateCalls_];
  } else {
    answer.events = CleanUpdateEvents();
  }
  ++updateCalls_;
  if (answer.refuse) return 0;
  written.emplace_back(image->data, image->data + image->size);
  writtenKinds.push_back(image->kind);
  if (deliver) {
    deliver(answer.events);
  } else {
    for (const DriverEvent& event : answer.events) Send(event);
  }
  return 1;
}

std::int32_t FakeDriver::CAM_DeleteCameraEx(CAM_HANDLE, std::int32_t) {
  calls.push_back("CAM_DeleteCameraEx");
  deleted = true;
  return 1;
}

std::vector<DriverEvent> CleanUpdateEvents(const std::vector<std::int32_t>& steps) {
  std::vector<DriverEvent> events = {{14, 0, 0}, {15, 0, 0}};
  for (std::int32_t step : steps) events.push_back({17, step, 0});
  return events;
}

}  // namespace kx::testing
