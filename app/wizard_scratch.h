// Test fixture for the wizard's Qt tests: the working folder of one test.
#pragma once

#include <optional>
#include <string>

#include "tests/scratch_dir.h"

namespace kx::app::testing {

// A scratch working folder with copies of the sample component files and the
// simulated board's file, which KXSIM_BOARD names for the test's life. The
// instance and board locks go to a private runtime folder inside it
// (XDG_RUNTIME_DIR), so tests never meet each other's or a user's locks.
class WizardScratch {
 public:
  // `boardFile`: the board file's text; empty: no file is written (the
  // board makes its default one on its first call).
  explicit WizardScratch(const std::string& boardFile = "");
  ~WizardScratch();
  WizardScratch(const WizardScratch&) = delete;
  WizardScratch& operator=(const WizardScratch&) = delete;

  const std::string& path() const { return dir_.path(); }
  const std::string& boardFilePath() const { return boardFile_; }
  bool BoardFileExists() const;
  std::string BoardFileText() const;
  // A value of the board file as the board wrote it; "" when missing.
  std::string BoardValue(const std::string& section, const std::string& key) const;

 private:
  kx::testing::ScratchDir dir_;
  std::string boardFile_;
  std::optional<std::string> outerRuntime_;  // put back afterwards
};

// A board file with the given boards and fast pacing; `extra` is appended
// (board sections, faults). Events come `delayMs` apart.
std::string BoardFile(const std::string& boards = "Board1=KX58-0001\n",
                      const std::string& extra = "", int delayMs = 1, int stepPercent = 25);

}  // namespace kx::app::testing
