// Where the lock that allows one update per board at a time lives: the one
// place that decides it for every front end.
#pragma once

#include <string>

#include "camera/camera_driver.h"
#include "platform/lock_folder.h"

namespace kx {

// Real boards' locks: one system-wide folder of root's, mode 0755, that no
// other user can redirect, replace or fill. The package makes it with the
// tmpfiles.d(5) line
//   d /run/lock/kxupdate 0755 root root -
// and the first update run as root makes it when it is missing. Nothing in
// the environment moves it.
inline constexpr const char* kBoardLockFolder = "/run/lock/kxupdate";

// The simulated board's board file when $KXSIM_BOARD does not name one.
inline constexpr const char* kDefaultSimulatedBoardFile = "kxsim-board.ini";

// How a board's lock is placed.
struct BoardLockRule {
  enum class Kind {
    kRealBoard,       // board-<id>.lock in kBoardLockFolder (tests: `path`), kSystem's rule
    kSimulatedBoard,  // beside the board file `path`, named after it and the id
    kFolder,          // board-<id>.lock in the folder `path`, taken as found
  };
  Kind kind = Kind::kRealBoard;
  std::string path;

  static BoardLockRule RealBoard() { return {}; }
  // The real boards' rules in another folder, for tests of those rules.
  static BoardLockRule RealBoardIn(std::string folder) {
    return {Kind::kRealBoard, std::move(folder)};
  }
  static BoardLockRule SimulatedBoard(std::string boardFile) {
    return {Kind::kSimulatedBoard, std::move(boardFile)};
  }
  static BoardLockRule InFolder(std::string folder) { return {Kind::kFolder, std::move(folder)}; }
};

struct BoardLockPlace {
  std::string folder;
  std::string fileName;
  platform::LockFolderRule folderRule;
};

// The simulated board's board file: $KXSIM_BOARD when set and not empty,
// else kDefaultSimulatedBoardFile in the working directory; absolute.
std::string SimulatedBoardFile();

// The rule for `driver`: a driver library loaded from a file named
// libkxsim.so is the simulated board, whose every folder is a board of its
// own, so its lock goes beside its board file (SimulatedBoardFile() now);
// every other driver drives real boards, locked in kBoardLockFolder.
BoardLockRule BoardLockRuleFor(const CameraDriver& driver);

// Where the lock of board `boardId` lives under `rule`. For the simulated
// board: the board file's folder (links resolved), and the file
// ".<board file name>.<id>.lock" with the id in lower case, as the board's
// own sections ignore letter case.
BoardLockPlace BoardLockPlaceFor(const BoardLockRule& rule, const std::string& boardId);

}  // namespace kx
