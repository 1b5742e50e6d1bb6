#include "tests/other_user.h"

#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kx::testing {

std::optional<OtherUser> Nobody() {
  if (::geteuid() != 0) return std::nullopt;
  const passwd* entry = ::getpwnam("nobody");
  if (entry == nullptr || entry->pw_uid == 0) return std::nullopt;
  return OtherUser{entry->pw_uid, entry->pw_gid};
}

std::string WhyNoOtherUser() {
  if (::geteuid() != 0) return "needs root to act as another user (the user nobody)";
  return "there is no user nobody to act as";
}

int RunAs(const OtherUser& user, const std::function<int()>& work) {
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setgroups(0, nullptr) != 0 || ::setresgid(user.gid, user.gid, user.gid) != 0 ||
        ::setresuid(user.uid, user.uid, user.uid) != 0) {
      ::_exit(126);
    }
    ::_exit(work());
  }
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

}  // namespace kx::testing
