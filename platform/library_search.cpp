#include "platform/library_search.h"

#include <glob.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace kx::platform {
namespace {

bool IsRegularFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

void AddOnce(std::vector<std::string>& folders, std::string folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  if (std::find(folders.begin(), folders.end(), folder) == folders.end()) {
    folders.push_back(std::move(folder));
  }
}

void ReadConf(const std::string& path, int depth, std::vector<std::string>& folders) {
  if (depth > 8) return;  // includes that include each other
  std::ifstream in(path);
  const std::string here = path.substr(0, path.find_last_of('/') + 1);
  for (std::string line; std::getline(in, line);) {
    line = line.substr(0, line.find('#'));
    std::replace(line.begin(), line.end(), ',', ' ');
    std::istringstream words(line);
    std::string word;
    if (!(words >> word)) continue;
    if (word == "include") {
      for (std::string pattern; words >> pattern;) {
        if (pattern.front() != '/') pattern = here + pattern;
        glob_t found{};
        if (::glob(pattern.c_str(), 0, nullptr, &found) == 0) {
          for (std::size_t i = 0; i < found.gl_pathc; ++i)
            ReadConf(found.gl_pathv[i], depth + 1, folders);
        }
        ::globfree(&found);
      }
      continue;
    }
    if (word == "hwcap") continue;
    do {
      if (word.front() == '/') AddOnce(folders, word);
    } while (words >> word);
  }
}

}  // namespace

std::optional<std::string> FindSharedLibrary(const std::string& name,
                                             const std::string& ldLibraryPath,
                                             const std::vector<std::string>& systemFolders,
                                             std::vector<std::string>* tried) {
  std::vector<std::string> folders;
  for (std::size_t from = 0; from <= ldLibraryPath.size();) {
    std::size_t end = ldLibraryPath.find(':', from);
    if (end == std::string::npos) end = ldLibraryPath.size();
    const std::string entry = ldLibraryPath.substr(from, end - from);
    if (!entry.empty() && entry.front() == '/') AddOnce(folders, entry);
    from = end + 1;
  }
  for (const std::string& folder : systemFolders) {
    if (!folder.empty() && folder.front() == '/') AddOnce(folders, folder);
  }
  if (tried) tried->clear();
  for (const std::string& folder : folders) {
    if (tried) tried->push_back(folder);
    const std::string path = (folder == "/" ? "" : folder) + "/" + name;
    if (IsRegularFile(path)) return path;
  }
  return std::nullopt;
}

std::vector<std::string> LibraryFoldersFromConf(const std::string& confPath) {
  std::vector<std::string> folders;
  ReadConf(confPath, 0, folders);
  return folders;
}

std::vector<std::string> SystemLibraryFolders() {
  std::vector<std::string> folders = LibraryFoldersFromConf("/etc/ld.so.conf");
  for (const char* builtIn : {"/lib64", "/usr/lib64", "/lib", "/usr/lib"})
    AddOnce(folders, builtIn);
  return folders;
}

}  // namespace kx::platform
