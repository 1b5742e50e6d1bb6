#include "simboard/sim_camera.h"

#include <chrono>
#include <filesystem>
#include <span>
#include <utility>

#include "platform/file_io.h"
#include "simboard/board_file.h"
#include "simboard/image_record.h"

namespace kx::sim {
namespace {

// A board id or label as part of a file name: parentheses go ("Firm(Appl)"
// is "FirmAppl"), anything else but letters, digits, '.', '-' and '_' becomes
// '_'.
std::string FileNamePart(std::string_view text) {
  std::string part;
  for (char c : text) {
    if (c == '(' || c == ')') continue;
    bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                 c == '.' || c == '-' || c == '_';
    part.push_back(plain ? c : '_');
  }
  return part;
}

}  // namespace

SimCamera::SimCamera(std::string boardId, std::string boardPath)
    : boardId_(std::move(boardId)), boardPath_(std::move(boardPath)), worker_([this] { Run(); }) {}

SimCamera::~SimCamera() { Stop(); }

void SimCamera::RegisterCallback(CamEventCallback callback, void* context) {
  std::lock_guard lock(mutex_);
  callback_ = callback;
  context_ = context;
}

void SimCamera::Queue(UpdateJob job) {
  {
    std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
  }
  wake_.notify_all();
}

bool SimCamera::OnWorkerThread() const { return std::this_thread::get_id() == worker_.get_id(); }

void SimCamera::Stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (worker_.joinable()) worker_.join();
  // What was written runs from the next camera on, as after a restart: so
  // within one run both FPGA images are still compared with the FPGA version
  // the board started with.
  std::vector<std::pair<std::int32_t, std::string>> versions;
  {
    std::lock_guard lock(mutex_);
    versions.swap(pendingVersions_);
  }
  if (versions.empty()) return;
  UpdateBoardFile(boardPath_, [&](BoardFileEdit& edit) {
    for (const auto& [kind, version] : versions) {
      edit.Set(BoardSection(boardId_), "Version" + std::to_string(kind), version);
    }
  });
}

void SimCamera::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
    if (stopping_) return;
    UpdateJob job = std::move(jobs_.front());
    jobs_.pop_front();
    if (!Send(job, lock)) {
      wake_.wait(lock, [this] { return stopping_; });
      return;
    }
  }
}

bool SimCamera::Send(UpdateJob& job, std::unique_lock<std::mutex>& lock) {
  const auto delay = std::chrono::milliseconds(job.script.delayMs());
  const std::int64_t count = job.script.size();
  for (std::int64_t i = 0; i < count; ++i) {
    const ScriptedEvent event = job.script.At(i);
    if (event.paced && delay.count() > 0) {
      wake_.wait_for(lock, delay, [this] { return stopping_; });
    }
    if (stopping_) return false;
    if (!job.script.stalls() && i + 1 == count) {
      // Recorded before the last event goes out, so whoever sees 100 also
      // sees the board that the write left behind. A write the board file
      // cannot take did not complete: the camera goes quiet as in a stall.
      lock.unlock();
      const bool recorded = RecordWrite(job);
      lock.lock();
      if (stopping_ || !recorded) return false;
    }
    CamEventCallback callback = callback_;
    void* context = context_;
    if (callback == nullptr) continue;
    lock.unlock();
    callback(0, event.type, event.value, 0, event.status, context);
    lock.lock();
  }
  return !job.script.stalls();
}

bool SimCamera::RecordWrite(const UpdateJob& job) {
  const std::string label(ComponentLabel(job.imageKind));
  const std::string digest = Fnv1a64Hex(job.image);
  const auto version = FindVersionMarker(job.image);
  const BoardFileStatus status = UpdateBoardFile(boardPath_, [&](BoardFileEdit& edit) {
    const std::string written = WrittenSection(boardId_);
    std::string order = edit.Get(written, "Order");
    order.append(order.empty() ? "" : ",").append(label);
    edit.Set(written, "Order", order);
    edit.Set(written, label + ".Size", std::to_string(job.image.size()));
    edit.Set(written, label + ".Digest", digest);
  });
  if (status != BoardFileStatus::kOk) {
    setLastError(kLibraryError);
    return false;
  }
  if (version) {
    std::lock_guard lock(mutex_);
    pendingVersions_.emplace_back(VersionKindOf(job.imageKind), *version);
  }
  if (!job.dumpFolder.empty()) {
    std::error_code ignored;
    std::filesystem::create_directories(job.dumpFolder, ignored);
    std::string name = FileNamePart(boardId_) + "-" + FileNamePart(label) + ".bin";
    platform::AtomicReplaceFile((std::filesystem::path(job.dumpFolder) / name).string(), job.image);
  }
  return true;
}

}  // namespace kx::sim
