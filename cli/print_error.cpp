#include <iostream>

#include "cli/commands.h"
#include "cli/terminal_text.h"

namespace kx::cli {

// The message names files, boards and versions that come from outside: none
// of them may move the cursor or retitle the terminal.
void PrintError(const std::string& message) {
  std::cerr << "kxupdate: " << ForTerminal(message) << "\n";
}

}  // namespace kx::cli
