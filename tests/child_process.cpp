#include "tests/child_process.h"

#include <dirent.h>
#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "tests/scratch_dir.h"
#include "tests/text_checks.h"

namespace kx::testing {

int RunInChild(const std::function<int()>& body, unsigned guardSeconds) {
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child < 0) return -1;
  if (child == 0) {
    alarm(guardSeconds);
    const int result = body();
    std::fflush(nullptr);
    _exit(result & 0xFF);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

bool GiveUpRoot() {
  if (geteuid() != 0) return true;
  constexpr id_t kNobody = 65534;
  return setgroups(0, nullptr) == 0 && setgid(kNobody) == 0 && setuid(kNobody) == 0 &&
         geteuid() == kNobody;
}

std::vector<std::string> SnapshotFolder(const std::string& folder) {
  std::vector<std::string> entries;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return entries;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    const std::string path = folder + "/" + name;
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) continue;
    char line[512];
    std::snprintf(line, sizeof line, "%s type %o size %lld mtime %lld.%09ld mode %o", name.c_str(),
                  static_cast<unsigned>(info.st_mode & S_IFMT),
                  static_cast<long long>(info.st_size), static_cast<long long>(info.st_mtim.tv_sec),
                  info.st_mtim.tv_nsec, static_cast<unsigned>(info.st_mode & 07777));
    std::string described = line;
    if (S_ISREG(info.st_mode)) {
      described += access(path.c_str(), R_OK) == 0 ? " fnv " + Fnv1a64Hex(ReadFileBytes(path))
                                                   : std::string(" unreadable");
    }
    entries.push_back(described);
  }
  closedir(dir);
  std::sort(entries.begin(), entries.end());
  return entries;
}

}  // namespace kx::testing
