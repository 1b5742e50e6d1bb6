#include "cli/terminal_input.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace kx::cli {

LineRead ReadAnswerLine(int fd, int interruptFd, std::string& line) {
  line.clear();
  bool any = false;
  for (;;) {
    pollfd watched[2] = {{fd, POLLIN, 0}, {interruptFd, POLLIN, 0}};
    const nfds_t count = interruptFd >= 0 ? 2 : 1;
    const int ready = poll(watched, count, -1);
    if (ready < 0) {
      if (errno == EINTR) continue;  // an interrupt's handler ran: its byte is in the pipe
      return any ? LineRead::kLine : LineRead::kEnd;
    }
    if (count == 2 && (watched[1].revents & POLLIN) != 0) {
      line.clear();
      return LineRead::kInterrupted;
    }
    if (watched[0].revents == 0) continue;
    char c = 0;
    const ssize_t n = read(fd, &c, 1);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) return any ? LineRead::kLine : LineRead::kEnd;
    any = true;
    if (c == '\n') {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return LineRead::kLine;
    }
    if (line.size() < kMaxAnswerLength) line += c;
  }
}

}  // namespace kx::cli
