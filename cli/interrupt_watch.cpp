#include "cli/interrupt_watch.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <cerrno>

namespace kx::cli {
namespace {

// The signals that say "stop" and get the notice, and those only ignored.
constexpr std::array kInterrupts = {SIGINT, SIGQUIT, SIGTERM, SIGTSTP};
constexpr std::array kIgnored = {SIGHUP, SIGPIPE};

// The pipe the handler writes to; -1 while no watch lives.
volatile sig_atomic_t g_interruptFd = -1;

// Async-signal-safe: one write(2) to a non-blocking pipe (a full pipe loses
// the byte, and the interrupts already waiting say enough), errno kept.
extern "C" void OnInterrupt(int) {
  const int saved = errno;
  const int fd = g_interruptFd;
  if (fd >= 0) {
    const char byte = 1;
    const ssize_t written = write(fd, &byte, 1);
    (void)written;
  }
  errno = saved;
}

struct PreviousActions {
  struct sigaction interrupts[kInterrupts.size()];
  struct sigaction ignored[kIgnored.size()];
};
PreviousActions g_previous;

}  // namespace

InterruptWatch::InterruptWatch() {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0) {
    readFd_ = ends[0];
    writeFd_ = ends[1];
    g_interruptFd = writeFd_;
  }
  struct sigaction caught {};
  caught.sa_handler = readFd_ >= 0 ? OnInterrupt : SIG_IGN;
  caught.sa_flags = SA_RESTART;
  sigemptyset(&caught.sa_mask);
  for (std::size_t i = 0; i < kInterrupts.size(); ++i) {
    sigaction(kInterrupts[i], &caught, &g_previous.interrupts[i]);
  }
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  for (std::size_t i = 0; i < kIgnored.size(); ++i) {
    sigaction(kIgnored[i], &ignore, &g_previous.ignored[i]);
  }
}

InterruptWatch::~InterruptWatch() {
  for (std::size_t i = 0; i < kInterrupts.size(); ++i) {
    sigaction(kInterrupts[i], &g_previous.interrupts[i], nullptr);
  }
  for (std::size_t i = 0; i < kIgnored.size(); ++i) {
    sigaction(kIgnored[i], &g_previous.ignored[i], nullptr);
  }
  g_interruptFd = -1;
  if (readFd_ >= 0) close(readFd_);
  if (writeFd_ >= 0) close(writeFd_);
}

bool InterruptWatch::TakeInterrupts() {
  if (readFd_ < 0) return false;
  bool any = false;
  char bytes[64];
  for (;;) {
    const ssize_t n = read(readFd_, bytes, sizeof bytes);
    if (n > 0) {
      any = true;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    return any;  // empty (EAGAIN), or no pipe to read
  }
}

}  // namespace kx::cli
