#include "app/wizard_scratch.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "platform/private_profile.h"

namespace kx::app::testing {

namespace fs = std::filesystem;

WizardScratch::WizardScratch(const std::string& boardFile)
    : boardFile_(dir_.path() + "/kxsim-board.ini") {
  for (const auto& entry : fs::directory_iterator(fs::path(kx::testing::SourceDir()) / "samples")) {
    if (entry.path().filename().string().rfind("KX", 0) == 0) {
      fs::copy_file(entry.path(), fs::path(dir_.path()) / entry.path().filename());
    }
  }
  if (!boardFile.empty()) kx::testing::WriteFileText(boardFile_, boardFile);
  if (const char* outer = std::getenv("XDG_RUNTIME_DIR")) outerRuntime_ = outer;
  const std::string runtime = dir_.path() + "/runtime";
  if (::mkdir(runtime.c_str(), 0700) != 0) throw std::runtime_error("cannot make " + runtime);
  ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  ::setenv("KXSIM_BOARD", boardFile_.c_str(), 1);
}

WizardScratch::~WizardScratch() {
  ::unsetenv("KXSIM_BOARD");
  if (outerRuntime_) {
    ::setenv("XDG_RUNTIME_DIR", outerRuntime_->c_str(), 1);
  } else {
    ::unsetenv("XDG_RUNTIME_DIR");
  }
}

bool WizardScratch::BoardFileExists() const { return fs::exists(boardFile_); }

std::string WizardScratch::BoardFileText() const {
  return BoardFileExists() ? kx::testing::ReadFileText(boardFile_) : std::string();
}

std::string WizardScratch::BoardValue(const std::string& section, const std::string& key) const {
  return platform::GetPrivateProfileString(section, key, "", boardFile_);
}

std::string BoardFile(const std::string& boards, const std::string& extra, int delayMs,
                      int stepPercent) {
  return "[Driver]\nDelayMs=" + std::to_string(delayMs) +
         "\nStepPercent=" + std::to_string(stepPercent) + "\n\n[Boards]\n" + boards + "\n" + extra;
}

}  // namespace kx::app::testing
