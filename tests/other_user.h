// Test fixtures: work done as another user, for the checks that keep other
// users away from our locks. Switching needs root; tests skip without it.
#pragma once

#include <sys/types.h>
#include <functional>
#include <optional>
#include <string>

namespace kx::testing {

// The user nobody's ids, when this process may become that user (it runs as
// root and the user exists); nullopt otherwise.
struct OtherUser {
  uid_t uid;
  gid_t gid;
};
std::optional<OtherUser> Nobody();

// The reason to skip a test that needs Nobody(), for GTEST_SKIP.
std::string WhyNoOtherUser();

// Runs `work` in a child process that has become `user` (no supplementary
// groups); the child's exit status, or -1 when it did not exit normally.
int RunAs(const OtherUser& user, const std::function<int()>& work);

}  // namespace kx::testing
