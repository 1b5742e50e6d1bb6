#include "camera/board_lock.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>

#include "camera/driver_library.h"
#include "platform/named_lock.h"

namespace kx {

std::string SimulatedBoardFile() {
  namespace fs = std::filesystem;
  const char* named = std::getenv("KXSIM_BOARD");
  const fs::path file = (named && *named) ? fs::path(named) : fs::path(kDefaultSimulatedBoardFile);
  std::error_code ignored;
  return fs::absolute(file, ignored).lexically_normal().string();
}

BoardLockRule BoardLockRuleFor(const CameraDriver& driver) {
  const auto* library = dynamic_cast<const DriverLibrary*>(&driver);
  if (library != nullptr && library->IsSimulatedBoard()) {
    return BoardLockRule::SimulatedBoard(SimulatedBoardFile());
  }
  return BoardLockRule::RealBoard();
}

BoardLockPlace BoardLockPlaceFor(const BoardLockRule& rule, const std::string& boardId) {
  const std::string board = "board-" + platform::NamedLock::SafeFileName(boardId) + ".lock";
  switch (rule.kind) {
    case BoardLockRule::Kind::kRealBoard:
      return {rule.path.empty() ? kBoardLockFolder : rule.path, board,
              platform::LockFolderRule::kSystem};
    case BoardLockRule::Kind::kFolder:
      return {rule.path, board, platform::LockFolderRule::kAsFound};
    case BoardLockRule::Kind::kSimulatedBoard:
      break;
  }
  namespace fs = std::filesystem;
  const fs::path file(rule.path);
  std::error_code ignored;
  fs::path folder = fs::weakly_canonical(file.parent_path(), ignored);
  if (folder.empty()) folder = file.parent_path();
  std::string id = boardId;
  for (char& c : id) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return {folder.string(),
          platform::NamedLock::SafeFileName("." + file.filename().string() + "." + id + ".lock"),
          platform::LockFolderRule::kAsFound};
}

}  // namespace kx
