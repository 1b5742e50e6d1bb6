// CUpdateApp: the wizard's process: single instance, the start dialog, and
// the exit code, which is always 0.
#pragma once

#include <memory>
#include <string>

#include "platform/named_lock.h"
#include "res/string_table.h"

namespace kx::app {

class CUpdateApp {
 public:
  // Runs the whole wizard and returns the process exit code: 0, whatever
  // happened, also for a second instance. The command line is not
  // interpreted (Qt's own platform options aside).
  int Run(int argc, char** argv);

  // Runs the update dialog on the driver that KXUPDATE_DRIVER names; when
  // none can be loaded, the dialog ends as without a board.
  static void RunUpdateDialog(Language language);

  // The single-instance lock of the program named `baseName`: per user,
  // "kx58-<baseName>.lock" in platform::UserLockFolder(), so that no other
  // user can hold or redirect it and each user's wizard is alone.
  static std::unique_ptr<platform::NamedLock> SingleInstanceLock(const std::string& baseName);

 private:
  // The first instance holds it until the process ends.
  std::unique_ptr<platform::NamedLock> m_instanceLock;
};

}  // namespace kx::app
