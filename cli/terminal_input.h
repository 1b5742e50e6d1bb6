// An answer typed at a prompt: one line read from the terminal, or the
// interrupt that came first.
#pragma once

#include <string>

namespace kx::cli {

enum class LineRead {
  kLine,         // `line` holds it, without its line end
  kEnd,          // the input ended (Ctrl-D, a closed pipe, a read error) before a line
  kInterrupted,  // `interruptFd` became readable first; what was typed so far is dropped
};

// The longest answer kept; the rest of a longer line is read and dropped.
inline constexpr std::size_t kMaxAnswerLength = 1024;

// Reads one line from `fd` a byte at a time, so that the input after it
// stays unread for the next prompt. A CR before the LF (a terminal in raw
// mode) is not part of the line; a last line without a line end counts as
// a line. While it waits it watches `interruptFd` too (-1: nothing to
// watch); it never takes from that one.
LineRead ReadAnswerLine(int fd, int interruptFd, std::string& line);

}  // namespace kx::cli
