#include "platform/file_search.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>

#include "platform/file_problem.h"

namespace kx::platform {
namespace {

bool SameLetter(char a, char b) {
  return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
}

}  // namespace

bool WildcardMatch(const std::string& pattern, const std::string& name) {
  // Iterative matcher with one back-tracking point: linear in practice and
  // free of the exponential blow-up a recursive matcher has on many '*'.
  std::size_t p = 0, n = 0;
  std::size_t starP = std::string::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (p < pattern.size() && (pattern[p] == '?' || SameLetter(pattern[p], name[n]))) {
      ++p;
      ++n;
    } else if (starP != std::string::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

std::vector<FoundFile> FindAllMatches(const std::string& pattern, const std::string& folder) {
  std::vector<FoundFile> found;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return found;
  const std::string prefix = folder == "." ? std::string() : folder + "/";
  while (const dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (!WildcardMatch(pattern, name)) continue;
    struct stat info {};
    if (stat((prefix + name).c_str(), &info) != 0) continue;
    if (!S_ISREG(info.st_mode)) {
      // Named like an update file and yet no file: say so, or its absence
      // puzzles.
      ReportFileRefusal(prefix + name, FileStatus::NotRegular(info.st_mode & S_IFMT),
                        FileUse::kSearch);
      continue;
    }
    found.push_back(FoundFile{std::move(name), static_cast<std::uint64_t>(info.st_size)});
  }
  closedir(dir);
  std::sort(found.begin(), found.end(),
            [](const FoundFile& a, const FoundFile& b) { return a.name < b.name; });
  return found;
}

std::optional<FoundFile> FindFirstMatch(const std::string& pattern) {
  std::vector<FoundFile> found = FindAllMatches(pattern);
  if (found.empty()) return std::nullopt;
  return std::move(found.front());
}

}  // namespace kx::platform
