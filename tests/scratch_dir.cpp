#include "tests/scratch_dir.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace kx::testing {

namespace fs = std::filesystem;

ScratchDir::ScratchDir() {
  previous_ = fs::current_path().string();
  std::string tmpl = (fs::temp_directory_path() / "kx-test-XXXXXX").string();
  if (mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
  fs::current_path(path_);
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  fs::current_path(previous_, ignored);
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(path_, ignored);
}

void WriteFileBytes(const std::string& name, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + name);
}

void WriteFileText(const std::string& name, const std::string& text) {
  WriteFileBytes(name, std::vector<std::uint8_t>(text.begin(), text.end()));
}

std::vector<std::uint8_t> ReadFileBytes(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + name);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::string ReadFileText(const std::string& name) {
  auto bytes = ReadFileBytes(name);
  return std::string(bytes.begin(), bytes.end());
}

bool FileExists(const std::string& name) { return fs::exists(name); }

std::vector<std::string> ListWorkingDirectory() {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(".")) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

std::string SourceDir() {
  const char* dir = std::getenv("KX_SOURCE_DIR");
  return dir ? dir : KX_DEFAULT_SOURCE_DIR;
}

int RunCommand(const std::string& command) {
  int status = std::system(command.c_str());
  if (status == -1 || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

std::string CaptureCommand(const std::string& command, int* status) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    if (status) *status = -1;
    return output;
  }
  char chunk[4096];
  std::size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, pipe)) > 0) output.append(chunk, n);
  int raw = pclose(pipe);
  if (status) *status = (raw != -1 && WIFEXITED(raw)) ? WEXITSTATUS(raw) : -1;
  return output;
}

}  // namespace kx::testing
