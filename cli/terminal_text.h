// Text from files and drivers (version texts, file names, board ids) made
// safe to print on a terminal: nothing in it can move the cursor, change
// colours or retitle the window.
#pragma once

#include <string>
#include <string_view>

namespace kx::cli {

// `text` with each control character (C0, DEL, C1) and each byte that is not
// part of a UTF-8 character written as "\xNN"; a backslash stays as it is.
// Printable characters, Japanese included, pass unchanged. For one-line
// values: a line end is escaped too.
std::string ForTerminal(std::string_view text);

// As ForTerminal, for a text of several lines: each LF stays a line break.
std::string ForTerminalLines(std::string_view text);

}  // namespace kx::cli
