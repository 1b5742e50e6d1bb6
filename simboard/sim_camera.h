// One camera object of the simulated board: its board, its last error, its
// registered callback and the worker thread that sends its events.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "camera/cam_driver.h"
#include "simboard/event_script.h"

namespace kx::sim {

// A component handed over for writing. The camera owns the bytes, so the
// caller's buffer is free as soon as CAM_EST_UpdateEx returns.
struct UpdateJob {
  std::int32_t imageKind = 0;
  std::vector<std::uint8_t> image;
  EventScript script;
  std::string dumpFolder;  // "" for none
};

class SimCamera {
 public:
  // Starts the camera's worker. `boardPath` is the board file the camera
  // records its writes in, fixed for the camera's life.
  SimCamera(std::string boardId, std::string boardPath);
  // Stops the worker as Stop() does; so the last reference to a camera must
  // not go away on its worker's thread.
  ~SimCamera();
  SimCamera(const SimCamera&) = delete;
  SimCamera& operator=(const SimCamera&) = delete;

  const std::string& boardId() const { return boardId_; }
  const std::string& boardPath() const { return boardPath_; }

  std::int32_t lastError() const { return lastError_.load(); }
  void setLastError(std::int32_t code) { lastError_.store(code); }

  // Takes effect from the next event on; a null callback silences the camera.
  void RegisterCallback(CamEventCallback callback, void* context);

  // Queues a component; its events follow those of the components before it.
  void Queue(UpdateJob job);

  // True on the worker's own thread, that is inside the callback.
  bool OnWorkerThread() const;

  // Ends the worker, also one that waits between events or stalls, and waits
  // for it: no callback runs after Stop() returns. Must not be called on the
  // worker's own thread.
  void Stop();

 private:
  void Run();
  // Sends the job's events; false when the camera is stopping or stalled.
  // Called with `lock` held; the lock is let go around each callback.
  bool Send(UpdateJob& job, std::unique_lock<std::mutex>& lock);
  // Records the write at once; the version it carries is installed when the
  // camera stops. False (and the camera's last error set) when the board
  // file could not take the record.
  bool RecordWrite(const UpdateJob& job);

  const std::string boardId_;
  const std::string boardPath_;
  std::atomic<std::int32_t> lastError_{0};

  std::mutex mutex_;  // guards what follows
  std::condition_variable wake_;
  bool stopping_ = false;
  CamEventCallback callback_ = nullptr;
  void* context_ = nullptr;
  std::deque<UpdateJob> jobs_;
  std::vector<std::pair<std::int32_t, std::string>> pendingVersions_;  // kind, version

  std::thread worker_;  // last: starts when everything above is ready
};

}  // namespace kx::sim
