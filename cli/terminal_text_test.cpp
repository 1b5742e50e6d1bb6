// Outside text made safe for a terminal.
#include "cli/terminal_text.h"

#include <gtest/gtest.h>

namespace kx::cli {
namespace {

TEST(ForTerminalTest, EscapesControlsAndBrokenUtf8Only) {
  struct Case {
    std::string text;
    std::string shown;
  };
  const Case cases[] = {
      {"KX58-0001", "KX58-0001"},
      {"V01.02.00", "V01.02.00"},
      {"C:\\path", "C:\\path"},                                  // a backslash stays
      {"\x1b[31mred\x1b[0m", "\\x1b[31mred\\x1b[0m"},            // colours
      {"\x1b]0;title\x07", "\\x1b]0;title\\x07"},                // window title
      {"a\rb\nc\td", "a\\x0db\\x0ac\\x09d"},                     // one line: line ends too
      {std::string("nul\0x", 5), "nul\\x00x"},
      {"\x7f", "\\x7f"},
      {"\xc2\x9b" "2J", "\\xc2\\x9b2J"},                         // C1 CSI
      {"\xc2\xa0", "\xc2\xa0"},                                  // U+00A0 is printable
      {"完了 ｴﾗｰ", "完了 ｴﾗｰ"},
      {"\xe5\xae", "\\xe5\\xae"},                                // cut inside a character
      {"\x82\xa0", "\\x82\\xa0"},                                // code page 932
      {"\xc0\xaf", "\\xc0\\xaf"},                                // overlong
      {"\xed\xa0\x80", "\\xed\\xa0\\x80"},                       // surrogate
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ForTerminal(c.text), c.shown) << ::testing::PrintToString(c.text);
  }
}

TEST(ForTerminalTest, LinesKeepTheirBreaks) {
  EXPECT_EQ(ForTerminalLines("The PCI-board \x1b[2J is not present.\nUpdate is exited.\n(Error Code:01)"),
            "The PCI-board \\x1b[2J is not present.\nUpdate is exited.\n(Error Code:01)");
  EXPECT_EQ(ForTerminalLines("a\n\nb\n"), "a\n\nb\n");
  EXPECT_EQ(ForTerminalLines("a\r\nb"), "a\\x0d\nb");
  EXPECT_EQ(ForTerminalLines(""), "");
}

}  // namespace
}  // namespace kx::cli
