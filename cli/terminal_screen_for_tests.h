// For the tests of the terminal front end: what a terminal shows after the
// bytes a program wrote to it.
#pragma once

#include <string>
#include <vector>

namespace kx::cli::testing {

// The lines a terminal shows after `bytes`, as far as kxupdate draws: a CR
// takes the cursor to the line's start, ESC [ K erases from the cursor to
// the line's end, LF goes to the start of the next line (a terminal's
// output turns LF into CR LF), and every other byte is written over what
// stands at the cursor. Other escape sequences are kept as text. Bytes are
// cells: a test's texts are ASCII where columns matter.
inline std::vector<std::string> ScreenLines(const std::string& bytes) {
  std::vector<std::string> lines(1);
  std::size_t column = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::string& line = lines.back();
    const char c = bytes[i];
    if (c == '\r') {
      column = 0;
    } else if (c == '\n') {
      lines.emplace_back();
      column = 0;
    } else if (c == '\x1b' && bytes.compare(i, 3, "\x1b[K") == 0) {
      line.resize(std::min(line.size(), column));
      i += 2;
    } else {
      if (column < line.size()) {
        line[column] = c;
      } else {
        line.resize(column, ' ');
        line += c;
      }
      ++column;
    }
  }
  return lines;
}

}  // namespace kx::cli::testing
