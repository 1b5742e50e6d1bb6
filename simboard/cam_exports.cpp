// The CAM_ functions of the simulated board, with C linkage. The library is
// built with hidden visibility and a version script; the declarations below
// are the only ones made visible, so it exports exactly the driver's ABI.
#pragma GCC visibility push(default)
#include "camera/cam_driver.h"
#pragma GCC visibility pop

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "platform/private_profile.h"
#include "simboard/board_file.h"
#include "simboard/event_script.h"
#include "simboard/sim_camera.h"

namespace kx::sim {
namespace {

// Error codes this board reports of its own accord.
constexpr std::int32_t kInvalidObject = 1;        // kCAM_API_INVALID_OBJECT
constexpr std::int32_t kInvalidParam = 2;         // kCAM_API_INVALID_PARAM
constexpr std::int32_t kInvalidState = 4;         // kCAM_API_CALLED_IN_INVALID_STATE
constexpr std::int32_t kInvalidCameraId = 12;     // kCAM_INVALID_CAMERA_ID
constexpr std::int32_t kInvalidUpdateData = 146;  // kCAM_EST_INVALID_UPDATE_DATA

// The most boards one enumeration reports.
constexpr std::int32_t kMaxBoards = 10;

// The library's cameras by handle, and the last error of handle 0.
class Driver {
 public:
  ~Driver() {
    // Stopped outside the lock: a callback that is still running may call in.
    std::map<CAM_HANDLE, std::shared_ptr<SimCamera>> cameras;
    {
      std::lock_guard lock(mutex_);
      cameras.swap(cameras_);
    }
    for (auto& entry : cameras) entry.second->Stop();
  }

  CAM_HANDLE Add(std::shared_ptr<SimCamera> camera) {
    std::lock_guard lock(mutex_);
    CAM_HANDLE handle = nextHandle_++;
    if (nextHandle_ <= 0) nextHandle_ = 1;
    cameras_[handle] = std::move(camera);
    return handle;
  }

  // The camera of `handle`; null (and handle 0's error set) when there is none.
  std::shared_ptr<SimCamera> Find(CAM_HANDLE handle) {
    std::lock_guard lock(mutex_);
    auto found = cameras_.find(handle);
    if (found == cameras_.end()) {
      noCameraError_ = kInvalidObject;
      return nullptr;
    }
    return found->second;
  }

  std::shared_ptr<SimCamera> Remove(CAM_HANDLE handle) {
    std::lock_guard lock(mutex_);
    auto found = cameras_.find(handle);
    if (found == cameras_.end()) return nullptr;
    std::shared_ptr<SimCamera> camera = std::move(found->second);
    cameras_.erase(found);
    return camera;
  }

  std::int32_t noCameraError() {
    std::lock_guard lock(mutex_);
    return noCameraError_;
  }
  void setNoCameraError(std::int32_t code) {
    std::lock_guard lock(mutex_);
    noCameraError_ = code;
  }

 private:
  std::mutex mutex_;
  CAM_HANDLE nextHandle_ = 1;
  std::int32_t noCameraError_ = 0;
  std::map<CAM_HANDLE, std::shared_ptr<SimCamera>> cameras_;
};

Driver& TheDriver() {
  static Driver driver;
  return driver;
}

// Puts one call into the board file's [Record] section; false when the board
// file could not take it.
bool Record(const std::string& path,
            std::initializer_list<std::pair<const char*, std::string>> keys) {
  return UpdateBoardFile(path, [&](BoardFileEdit& edit) {
           for (const auto& [key, value] : keys) edit.Set(kRecordSection, key, value);
         }) == BoardFileStatus::kOk;
}

bool IsValidImage(const CamComponentImage* image) {
  return image != nullptr && std::memcmp(image->tag, "ZEBA", 4) == 0 && image->kind >= 0 &&
         image->kind <= 3 && image->size > 0 && image->data != nullptr;
}

}  // namespace
}  // namespace kx::sim

using kx::sim::TheDriver;

extern "C" {

int32_t CAM_EnumCameraEx(int32_t /*mode*/, char** slots, int32_t slotCount, int32_t slotSize) {
  const auto board = kx::sim::BoardFile::Load(kx::sim::BoardFilePath());
  if (!board.usable()) {
    TheDriver().setNoCameraError(kx::sim::kLibraryError);
    return 0;
  }
  TheDriver().setNoCameraError(board.EnumerationError());
  if (board.EnumerationFails()) return 0;
  if (slots == nullptr || slotCount <= 0 || slotSize <= 0) {
    TheDriver().setNoCameraError(kx::sim::kInvalidParam);
    return 0;
  }
  const auto ids = board.BoardIds();
  const std::int32_t count =
      std::min({static_cast<std::int32_t>(ids.size()), slotCount, kx::sim::kMaxBoards});
  const std::int32_t used = count < slotCount ? count + 1 : count;  // with the empty one
  for (std::int32_t i = 0; i < used; ++i) {
    if (slots[i] == nullptr) {
      TheDriver().setNoCameraError(kx::sim::kInvalidParam);
      return 0;
    }
  }
  for (std::int32_t i = 0; i < count; ++i) {
    const std::string& id = ids[static_cast<std::size_t>(i)];
    const std::size_t length = std::min(id.size(), static_cast<std::size_t>(slotSize - 1));
    std::memcpy(slots[i], id.data(), length);
    slots[i][length] = '\0';
  }
  if (count < slotCount) slots[count][0] = '\0';
  return 1;
}

CAM_HANDLE CAM_CreateCameraEx(const char* boardId, int32_t /*mode*/) {
  const std::string path = kx::sim::BoardFilePath();
  const auto board = kx::sim::BoardFile::Load(path);
  const std::string id = boardId != nullptr ? boardId : "";
  if (!board.usable() ||
      !kx::sim::Record(path, {{"CreatedBoard", id}, {"CallbackRegistered", "0"}})) {
    TheDriver().setNoCameraError(kx::sim::kLibraryError);
    return 0;
  }
  if (!board.HasBoard(id)) {
    TheDriver().setNoCameraError(kx::sim::kInvalidCameraId);
    return 0;
  }
  auto camera = std::make_shared<kx::sim::SimCamera>(id, path);
  camera->setLastError(board.CreateError(id));
  return TheDriver().Add(std::move(camera));
}

int32_t CAM_GetLastErrorEx(CAM_HANDLE camera, int32_t /*mode*/, int32_t* code) {
  if (code == nullptr) return 0;
  const auto board = kx::sim::BoardFile::Load(kx::sim::BoardFilePath());
  if (camera == 0) {
    if (board.LastErrorFails("")) return 0;
    *code = TheDriver().noCameraError();
    return 1;
  }
  auto found = TheDriver().Find(camera);
  if (found == nullptr || board.LastErrorFails(found->boardId())) return 0;
  *code = found->lastError();
  return 1;
}

int32_t CAM_RegisterCallbackEx(CAM_HANDLE camera, CamEventCallback callback, void* context) {
  auto found = TheDriver().Find(camera);
  if (found == nullptr) return 0;
  if (!kx::sim::Record(found->boardPath(),
                       {{"CallbackRegistered", callback != nullptr ? "1" : "0"}})) {
    found->setLastError(kx::sim::kLibraryError);
    return 0;
  }
  found->RegisterCallback(callback, context);
  return 1;
}

int32_t CAM_SetTimeoutEx(CAM_HANDLE camera, int32_t mode, int32_t timeout) {
  auto found = TheDriver().Find(camera);
  if (found == nullptr) return 0;
  if (!kx::sim::Record(found->boardPath(), {{"TimeoutMode", std::to_string(mode)},
                                            {"Timeout", std::to_string(timeout)}})) {
    found->setLastError(kx::sim::kLibraryError);
    return 0;
  }
  return 1;
}

int32_t CAM_GetVersionEx(CAM_HANDLE camera, int32_t /*mode*/, int32_t kind, char* buffer) {
  auto found = TheDriver().Find(camera);
  if (found == nullptr) return 0;
  if (buffer == nullptr || (kind != CAM_VERSION_FPGA && kind != CAM_VERSION_FIRM_APPL &&
                            kind != CAM_VERSION_FIRM_BOOT)) {
    found->setLastError(kx::sim::kInvalidParam);
    return 0;
  }
  const auto board = kx::sim::BoardFile::Load(found->boardPath());
  if (!board.usable()) {
    found->setLastError(kx::sim::kLibraryError);
    return 0;
  }
  const std::string text = board.InstalledVersion(found->boardId(), kind);
  const std::size_t length = std::min<std::size_t>(text.size(), CAM_VERSION_BUFFER_SIZE - 1);
  std::memcpy(buffer, text.data(), length);
  buffer[length] = '\0';
  found->setLastError(board.VersionError(found->boardId()));
  return 1;
}

int32_t CAM_EST_SetBehaviorModeEx(CAM_HANDLE camera, int32_t /*one*/, int32_t mode,
                                  int32_t /*zero*/) {
  auto found = TheDriver().Find(camera);
  if (found == nullptr) return 0;
  if (!kx::sim::Record(found->boardPath(), {{"BehaviorMode", std::to_string(mode)}})) {
    found->setLastError(kx::sim::kLibraryError);
    return 0;
  }
  return 1;
}

int32_t CAM_EST_UpdateEx(CAM_HANDLE camera, int32_t /*zero*/, const CamComponentImage* image) {
  auto found = TheDriver().Find(camera);
  if (found == nullptr) return 0;
  if (!kx::sim::IsValidImage(image)) {
    found->setLastError(kx::sim::kInvalidUpdateData);
    return 0;
  }
  // Copied at once: the caller's buffer is not looked at again.
  kx::sim::UpdateJob job;
  job.imageKind = image->kind;
  job.image.assign(image->data, image->data + image->size);

  const auto board = kx::sim::BoardFile::Load(found->boardPath());
  if (!board.usable()) {
    found->setLastError(kx::sim::kLibraryError);
    return 0;
  }
  const auto faults = board.Faults(kx::sim::ComponentLabel(image->kind));
  if (faults.refuse) {
    found->setLastError(faults.refuseError);
    return 0;
  }
  job.script = kx::sim::EventScript(board.ReadPacing(), faults);
  job.dumpFolder = board.DumpFolder();
  found->Queue(std::move(job));
  return 1;
}

int32_t CAM_DeleteCameraEx(CAM_HANDLE camera, int32_t /*one*/) {
  auto found = TheDriver().Find(camera);
  if (found == nullptr) return 0;
  if (found->OnWorkerThread()) {
    // Inside the camera's own callback: its worker cannot wait for itself.
    found->setLastError(kx::sim::kInvalidState);
    return 0;
  }
  // Only the caller that takes the camera out of the table stops it.
  if (TheDriver().Remove(camera) == nullptr) return 0;
  found->Stop();
  return 1;
}

}  // extern "C"
