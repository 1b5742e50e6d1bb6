// The log as lines: what --json's log_lines holds.
#include "cli/log_lines.h"

#include <gtest/gtest.h>

namespace kx::cli {
namespace {

TEST(LogLinesTest, SplitsAtEveryLineEndAndKeepsLoneCarriageReturns) {
  struct Case {
    const char* log;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"", {}},
      {"Initializing.....", {"Initializing....."}},
      {"Initializing.....Completed\r\n", {"Initializing.....Completed"}},
      {"Initializing.....Completed\r\nChecking the file.....Failuer.",
       {"Initializing.....Completed", "Checking the file....."
                                      "Failuer."}},
      // A failure's label on a line of its own; a timeout's line after it.
      {"Updates FPGA1.....Failuer.\r\n(kCAM_COM_TIMEOUT)\r\nNo event from the driver for 1 seconds.",
       {"Updates FPGA1.....Failuer.", "(kCAM_COM_TIMEOUT)", "No event from the driver for 1 seconds."}},
      {"a\nb\n", {"a", "b"}},                // LF alone ends a line too
      {"a\r\n\r\nb", {"a", "", "b"}},        // an empty line stays
      {"\r\n", {""}},
      {"\n\n", {"", ""}},
      {"a\rb\r\n", {"a\rb"}},                // a CR that ends nothing stays in its line
      {"a\r", {"a\r"}},
      {"a\r\r\nb", {"a\r", "b"}},            // only the CR right before the LF goes
      {"完了\r\nキャンセル", {"完了", "キャンセル"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LogLines(c.log), c.lines) << ::testing::PrintToString(std::string(c.log));
  }
}

}  // namespace
}  // namespace kx::cli
