// Test fixtures: work done in a child process, guarded against hanging, and
// a folder's state before and after.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kx::testing {

// Runs `body` in a forked child and returns how the child ended: its exit
// code (body's result, 0..255), or 128 + the signal that ended it. The child
// has an alarm of `guardSeconds`: a body that hangs (a FIFO opened for
// reading, say) ends by SIGALRM instead of hanging the test. Call it only
// while the test runs no other thread.
int RunInChild(const std::function<int()>& body, unsigned guardSeconds = 60);

// Inside such a child: gives root up for the user nobody (65534), so that
// file permissions apply as they do to any user. True when the process now
// runs as a user other than root (also when it never was root).
bool GiveUpRoot();

// What a folder holds, file by file: name, type, size, modification time
// (nanoseconds) and an FNV-1a digest of the contents of regular files.
// Two equal snapshots: nothing in the folder changed.
std::vector<std::string> SnapshotFolder(const std::string& folder);

}  // namespace kx::testing
