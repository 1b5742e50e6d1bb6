// Test fixtures: a scratch folder that the test works in.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kx::testing {

// Makes a fresh folder under the system's temporary folder, makes it the
// working directory for the object's life and removes it with all it holds
// afterwards; the previous working directory comes back.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::string previous_;
};

void WriteFileBytes(const std::string& name, const std::vector<std::uint8_t>& bytes);
void WriteFileText(const std::string& name, const std::string& text);
std::vector<std::uint8_t> ReadFileBytes(const std::string& name);
std::string ReadFileText(const std::string& name);
bool FileExists(const std::string& name);

// Names in the working directory, sorted.
std::vector<std::string> ListWorkingDirectory();

// The repository's top folder (for samples/ and tests/data/).
std::string SourceDir();

// Runs a shell command; its exit status (-1 when it could not run).
int RunCommand(const std::string& command);

// A command's standard output, and its exit status through `status`.
std::string CaptureCommand(const std::string& command, int* status = nullptr);

}  // namespace kx::testing
