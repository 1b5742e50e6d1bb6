#include "simboard/board_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <span>

#include "platform/file_io.h"
#include "platform/file_lock.h"
#include "platform/file_problem.h"
#include "platform/private_profile.h"

namespace kx::sim {
namespace {

constexpr std::string_view kDriverSection = "Driver";
constexpr std::string_view kBoardsSection = "Boards";
constexpr std::string_view kDefaultBoardPath = "kxsim-board.ini";

// The board a missing board file starts as: versions older than the samples
// in samples/, no faults, the default pacing.
constexpr std::string_view kDefaultBoard =
    "; The simulated KX58 board of libkxsim. simboard/README.md describes every\n"
    "; section and key; the board itself writes [Record] and [Written <id>].\n"
    "[Driver]\n"
    "DelayMs=2\n"
    "StepPercent=10\n"
    "\n"
    "[Boards]\n"
    "Board1=KX58-0001\n"
    "\n"
    "[Board KX58-0001]\n"
    "Version3=V01.01.00\n"
    "Version5=V01.01.00\n"
    "Version9=V01.00.00\n"
    "VersionError=0\n";

// The installed versions of a board whose section does not give them.
std::string_view DefaultVersion(std::int32_t versionKind) {
  return versionKind == 9 ? "V01.00.00" : "V01.01.00";
}

// Every change of the board file by this library's threads goes through
// this lock, then through the board file's lock file (which also holds off
// other processes). Constant-initialised: usable from any static's destructor.
constinit std::mutex g_boardFileLock;

enum class Reading { kRead, kMissing, kNotRegular, kTooLarge, kUnreadable };

BoardFileStatus StatusOf(Reading reading) {
  switch (reading) {
    case Reading::kRead:
    case Reading::kMissing:
      return BoardFileStatus::kOk;
    case Reading::kNotRegular:
      return BoardFileStatus::kNotRegular;
    case Reading::kTooLarge:
      return BoardFileStatus::kTooLarge;
    case Reading::kUnreadable:
      break;
  }
  return BoardFileStatus::kUnreadable;
}

// Reads the board file into `text`; a missing one gives the default board.
// The open does not wait (O_NONBLOCK: a FIFO without a writer would hold a
// plain open up for good), and only a regular file of at most
// kMaxBoardFileBytes is read.
Reading ReadFileText(const std::string& path, std::string& text) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    if (errno != ENOENT) return Reading::kUnreadable;
    text.assign(kDefaultBoard);
    return Reading::kMissing;
  }
  Reading reading = Reading::kRead;
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    reading = Reading::kUnreadable;
  } else if (!S_ISREG(info.st_mode)) {
    reading = Reading::kNotRegular;
  } else if (static_cast<std::uintmax_t>(info.st_size) > kMaxBoardFileBytes) {
    reading = Reading::kTooLarge;
  } else {
    // The size is a hint only: a file that grows meanwhile is still read to
    // its end, up to the limit.
    std::string read(static_cast<std::size_t>(info.st_size) + 1, '\0');
    std::size_t done = 0;
    for (;;) {
      if (done == read.size()) {
        if (read.size() > kMaxBoardFileBytes) {
          reading = Reading::kTooLarge;
          break;
        }
        read.resize(std::min(read.size() * 2, kMaxBoardFileBytes + 1));
      }
      const ssize_t n = ::read(fd, read.data() + done, read.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        reading = Reading::kUnreadable;
        break;
      }
      if (n == 0) break;
      done += static_cast<std::size_t>(n);
    }
    if (reading == Reading::kRead) {
      read.resize(done);
      text = std::move(read);
    }
  }
  ::close(fd);
  return reading;
}

// ReadFileText, and a refused board file named to the user (once), as the
// updater names every file it refuses: the board's calls then fail at once.
Reading ReadText(const std::string& path, std::string& text) {
  const int before = errno;
  const Reading reading = ReadFileText(path, text);
  switch (reading) {
    case Reading::kNotRegular: {
      struct stat info {};
      const std::uint32_t type = ::stat(path.c_str(), &info) == 0 ? (info.st_mode & S_IFMT) : 0;
      platform::ReportFileRefusal(path, platform::FileStatus::NotRegular(type), platform::FileUse::kRead);
      break;
    }
    case Reading::kTooLarge:
      platform::ReportFileRefusal(path, "the board file is larger than 64 MiB", platform::FileUse::kRead);
      break;
    case Reading::kUnreadable:
      platform::ReportFileRefusal(path, platform::FileStatus::FromErrno(errno, platform::FileProblem::kReadError),
                                  platform::FileUse::kRead);
      break;
    case Reading::kRead:
    case Reading::kMissing:
      errno = before;
      break;
  }
  return reading;
}

bool WriteText(const std::string& path, const std::string& text) {
  auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  // The board's state is a simulation's: atomic, so a reader never sees half
  // a file, but not flushed, which would slow every simulated call down.
  return platform::AtomicReplaceFile(path, bytes, {}, platform::Durability::kAtomicOnly);
}

}  // namespace

std::string_view ComponentLabel(std::int32_t imageKind) {
  switch (imageKind) {
    case 0:
      return "Firm(Appl)";
    case 1:
      return "FPGA1";
    case 2:
      return "FPGA2";
    case 3:
      return "Firm(Boot)";
    default:
      return "";
  }
}

std::int32_t VersionKindOf(std::int32_t imageKind) {
  switch (imageKind) {
    case 0:
      return 5;
    case 1:
    case 2:
      return 3;
    case 3:
      return 9;
    default:
      return 0;
  }
}

std::string BoardFilePath() {
  const char* path = std::getenv("KXSIM_BOARD");
  return (path != nullptr && *path != '\0') ? std::string(path) : std::string(kDefaultBoardPath);
}

std::string BoardSection(std::string_view boardId) { return std::string("Board ").append(boardId); }

std::string WrittenSection(std::string_view boardId) {
  return std::string("Written ").append(boardId);
}

BoardFile BoardFile::Load(const std::string& path) {
  std::string text;
  Reading reading = ReadText(path, text);
  if (reading == Reading::kMissing) {
    // Made under the lock, and only if no other camera or process has made
    // it meanwhile; without the lock it reads as the default all the same.
    std::lock_guard guard(g_boardFileLock);
    platform::FileLock lock;
    if (lock.Acquire(path) == platform::FileLockStatus::kLocked) {
      reading = ReadText(path, text);
      if (reading == Reading::kMissing) WriteText(path, text);
    }
  }
  if (reading != Reading::kRead && reading != Reading::kMissing) text.clear();
  return BoardFile(path, StatusOf(reading), text);
}

std::string BoardFile::Text(std::string_view section, std::string_view key, bool* found) const {
  const std::string* value = index_.Find(section, key);
  if (found != nullptr) *found = value != nullptr;
  return value != nullptr ? *value : std::string();
}

std::int32_t BoardFile::Int(std::string_view section, std::string_view key,
                            std::int32_t fallback) const {
  return static_cast<std::int32_t>(platform::ParseProfileInt(Text(section, key), fallback));
}

std::int32_t BoardFile::BoardInt(std::string_view boardId, std::string_view key,
                                 std::int32_t fallback) const {
  bool found = false;
  std::string value = Text(BoardSection(boardId), key, &found);
  if (found && !value.empty()) {
    return static_cast<std::int32_t>(platform::ParseProfileInt(value, fallback));
  }
  return Int(kDriverSection, key, fallback);
}

bool BoardFile::EnumerationFails() const { return Int(kDriverSection, "EnumFails", 0) != 0; }

std::int32_t BoardFile::EnumerationError() const { return Int(kDriverSection, "EnumError", 0); }

std::vector<std::string> BoardFile::BoardIds() const {
  std::vector<std::string> ids;
  for (int n = 1;; ++n) {
    const std::string* id = index_.Find(kBoardsSection, "Board" + std::to_string(n));
    if (id == nullptr || id->empty()) break;
    ids.push_back(*id);
  }
  return ids;
}

bool BoardFile::HasBoard(std::string_view boardId) const {
  for (int n = 1;; ++n) {
    const std::string* id = index_.Find(kBoardsSection, "Board" + std::to_string(n));
    if (id == nullptr || id->empty()) return false;
    if (*id == boardId) return true;
  }
}

std::int32_t BoardFile::CreateError(std::string_view boardId) const {
  return BoardInt(boardId, "CreateError", 0);
}

bool BoardFile::LastErrorFails(std::string_view boardId) const {
  return BoardInt(boardId, "LastErrorFails", 0) != 0;
}

std::string BoardFile::InstalledVersion(std::string_view boardId, std::int32_t versionKind) const {
  bool found = false;
  std::string text = Text(BoardSection(boardId), "Version" + std::to_string(versionKind), &found);
  return found ? text : std::string(DefaultVersion(versionKind));
}

std::int32_t BoardFile::VersionError(std::string_view boardId) const {
  return BoardInt(boardId, "VersionError", 0);
}

Pacing BoardFile::ReadPacing() const {
  Pacing pacing;
  pacing.delayMs = Int(kDriverSection, "DelayMs", pacing.delayMs);
  pacing.stepPercent = Int(kDriverSection, "StepPercent", pacing.stepPercent);
  return pacing;
}

ComponentFaults BoardFile::Faults(std::string_view label) const {
  std::string section = std::string("Fault ").append(label);
  ComponentFaults faults;
  faults.refuse = Int(section, "Refuse", 0) != 0;
  faults.refuseError = Int(section, "RefuseError", faults.refuseError);
  faults.outOfOrder = Int(section, "OutOfOrder", 0) != 0;
  faults.wrongType = Int(section, "WrongType", faults.wrongType);
  faults.wrongTypeAt = Int(section, "WrongTypeAt", faults.wrongTypeAt);
  faults.wrongTypeStatus = Int(section, "WrongTypeStatus", faults.wrongTypeStatus);
  faults.noise = Int(section, "Noise", 0) != 0;
  faults.noiseValue = Int(section, "NoiseValue", faults.noiseValue);
  faults.noiseStatus = Int(section, "NoiseStatus", faults.noiseStatus);
  faults.retries = Int(section, "Retries", faults.retries);
  faults.retryStatus = Int(section, "RetryStatus", faults.retryStatus);
  faults.stallAfter = Int(section, "StallAfter", faults.stallAfter);
  faults.burst = Int(section, "Burst", 0) != 0;
  return faults;
}

std::string BoardFile::DumpFolder() const {
  std::string folder = Text(kDriverSection, "DumpDir");
  if (folder.empty()) return folder;
  std::filesystem::path dump(folder);
  if (dump.is_relative()) dump = std::filesystem::path(path_).parent_path() / dump;
  return dump.string();
}

std::string BoardFileEdit::Get(std::string_view section, std::string_view key) const {
  return platform::ReadProfileValue(text_, section, key, nullptr);
}

void BoardFileEdit::Set(std::string_view section, std::string_view key, std::string_view value) {
  std::string edited;
  if (platform::WriteProfileValue(text_, section, key, value, edited)) text_ = std::move(edited);
}

BoardFileStatus UpdateBoardFile(const std::string& path,
                                const std::function<void(BoardFileEdit&)>& change) {
  std::lock_guard guard(g_boardFileLock);
  platform::FileLock lock;
  if (lock.Acquire(path) != platform::FileLockStatus::kLocked) return BoardFileStatus::kNotLocked;
  std::string text;
  const Reading reading = ReadText(path, text);
  if (reading != Reading::kRead && reading != Reading::kMissing) return StatusOf(reading);
  BoardFileEdit edit(text);
  change(edit);
  if (reading == Reading::kRead && edit.text() == text) return BoardFileStatus::kOk;
  return WriteText(path, edit.text()) ? BoardFileStatus::kOk : BoardFileStatus::kNotWritten;
}

}  // namespace kx::sim
