// The board file: everything the simulated board is and does, in one
// private-profile (INI) file that people and tests edit and that the board
// writes back (what was written to it, the versions it now runs, the calls
// it saw). README.md beside this file describes every section and key.
//
// The library reads the file afresh on every call, so a test or a person may
// change it between calls; a camera's running update keeps the settings that
// were read when the update was handed over.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "simboard/profile_index.h"

namespace kx::sim {

// The last error a call leaves when the board file cannot be used
// (kCAM_API_LIB_INITIALIZE_ERROR): the board's "library" is its file.
inline constexpr std::int32_t kLibraryError = 5;

// The most bytes a board file may hold; a larger one is not read at all, so
// that a stray file named as the board costs no memory in proportion to it.
inline constexpr std::size_t kMaxBoardFileBytes = 64u << 20;

// Whether the board file could be used, and why not.
enum class BoardFileStatus {
  kOk,
  kNotRegular,  // a FIFO, folder, device ... stands at the board file's name
  kTooLarge,    // more than kMaxBoardFileBytes
  kUnreadable,  // it is there but cannot be opened or read
  kNotLocked,   // its lock file (platform::FileLock) cannot be had, so no change is made
  kNotWritten,  // the changed file could not be put in place
};

// The label of an image kind (1 "FPGA1", 2 "FPGA2", 0 "Firm(Appl)",
// 3 "Firm(Boot)"); "" for any other kind.
std::string_view ComponentLabel(std::int32_t imageKind);

// The version kind that an image kind installs (FPGA1 and FPGA2: 3,
// Firm(Appl): 5, Firm(Boot): 9); 0 for any other kind.
std::int32_t VersionKindOf(std::int32_t imageKind);

// The board file's path: $KXSIM_BOARD, or "kxsim-board.ini" in the working
// directory when that is unset or empty.
std::string BoardFilePath();

// Section names of a board's state and of what was written to it.
std::string BoardSection(std::string_view boardId);
std::string WrittenSection(std::string_view boardId);
inline constexpr std::string_view kRecordSection = "Record";

struct Pacing {
  std::int32_t delayMs = 2;       // before each event that is not noise
  std::int32_t stepPercent = 10;  // progress step; the last event is always 100
};

// The scripted misbehaviour of one component.
struct ComponentFaults {
  bool refuse = false;  // CAM_EST_UpdateEx returns 0 and no event comes
  std::int32_t refuseError = 131;
  bool outOfOrder = false;       // 15 comes before 14
  std::int32_t wrongType = 0;    // 0: none; else this type replaces one progress event
  std::int32_t wrongTypeAt = 1;  // which progress event (1 is the first)
  std::int32_t wrongTypeStatus = 0;
  bool noise = false;  // types 0, 2 and 12 come before every other event
  std::int32_t noiseValue = 77;
  std::int32_t noiseStatus = 131;
  std::int32_t retries = 0;  // progress events with a nonzero status, on top of the steps
  std::int32_t retryStatus = 102;
  std::int32_t stallAfter = -1;  // -1: none; else nothing comes after that many events
  bool burst = false;            // no delay between this component's events
};

// One reading of the board file.
class BoardFile {
 public:
  // Reads the file at `path` in one pass. A missing file is first created
  // from the default board (one board "KX58-0001") and reads as that board
  // even when it cannot be created; a file that is there but cannot be read
  // (status() says why) reads as empty: no board, every setting at its
  // default. A file that is not a regular file is never opened for reading
  // in a way that could wait (a FIFO without a writer, say).
  static BoardFile Load(const std::string& path);

  const std::string& path() const { return path_; }
  BoardFileStatus status() const { return status_; }
  bool usable() const { return status_ == BoardFileStatus::kOk; }

  bool EnumerationFails() const;
  std::int32_t EnumerationError() const;
  // The ids of [Boards] Board1, Board2, ... up to the first one missing or empty.
  std::vector<std::string> BoardIds() const;
  bool HasBoard(std::string_view boardId) const;  // exact bytes, letter case included

  // Settings that a board's section may give and [Driver] gives for all.
  std::int32_t CreateError(std::string_view boardId) const;
  bool LastErrorFails(std::string_view boardId) const;

  // The installed version text of `versionKind` (3, 5 or 9).
  std::string InstalledVersion(std::string_view boardId, std::int32_t versionKind) const;
  std::int32_t VersionError(std::string_view boardId) const;

  Pacing ReadPacing() const;
  ComponentFaults Faults(std::string_view label) const;

  // The folder that written images are copied to, "" for none; a relative
  // folder is taken from the board file's own folder.
  std::string DumpFolder() const;

 private:
  BoardFile(std::string path, BoardFileStatus status, std::string_view text)
      : path_(std::move(path)), status_(status), index_(text) {}
  std::string Text(std::string_view section, std::string_view key, bool* found = nullptr) const;
  std::int32_t Int(std::string_view section, std::string_view key, std::int32_t fallback) const;
  std::int32_t BoardInt(std::string_view boardId, std::string_view key,
                        std::int32_t fallback) const;

  std::string path_;
  BoardFileStatus status_;
  ProfileIndex index_;
};

// The board file's text while a change is made to it.
class BoardFileEdit {
 public:
  explicit BoardFileEdit(std::string text) : text_(std::move(text)) {}
  std::string Get(std::string_view section, std::string_view key) const;
  // A value that would break the file's lines is dropped.
  void Set(std::string_view section, std::string_view key, std::string_view value);
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

// Takes the board file's lock (a lock file beside it, which holds off every
// other thread and process that changes the file through this library), then
// reads the file at `path` afresh (the default board when it is missing),
// lets `change` edit it and puts the result in place with one atomic
// replacement. So two cameras, in one process or in two, never lose each
// other's changes. A file that cannot be read is never replaced. kOk when the
// change is in the file (also when it already said so).
BoardFileStatus UpdateBoardFile(const std::string& path,
                                const std::function<void(BoardFileEdit&)>& change);

}  // namespace kx::sim
