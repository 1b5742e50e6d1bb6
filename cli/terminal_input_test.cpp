// Answers typed at a prompt, read one line at a time.
#include "cli/terminal_input.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace kx::cli {
namespace {

struct Pipe {
  int read = -1, write = -1;
  Pipe() {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) == 0) {
      read = ends[0];
      write = ends[1];
    }
  }
  ~Pipe() {
    if (read >= 0) close(read);
    CloseWrite();
  }
  void Put(const std::string& text) { ASSERT_EQ(::write(write, text.data(), text.size()), static_cast<ssize_t>(text.size())); }
  void CloseWrite() {
    if (write >= 0) close(write);
    write = -1;
  }
};

// Each case is what was typed (then the input ends) and what each of the
// prompts that follow gets: one line each, the rest left for the next.
TEST(ReadAnswerLineTest, OneLineAPromptAndTheRestForTheNext) {
  struct Case {
    std::string typed;
    std::vector<std::pair<LineRead, std::string>> reads;
  };
  const Case cases[] = {
      {"y\n", {{LineRead::kLine, "y"}, {LineRead::kEnd, ""}}},
      {"2\nx\n", {{LineRead::kLine, "2"}, {LineRead::kLine, "x"}, {LineRead::kEnd, ""}}},
      {"\n", {{LineRead::kLine, ""}, {LineRead::kEnd, ""}}},
      {"yes\r\n", {{LineRead::kLine, "yes"}, {LineRead::kEnd, ""}}},  // raw terminal's CR
      {"a\rb\n", {{LineRead::kLine, "a\rb"}}},
      {"no line end", {{LineRead::kLine, "no line end"}, {LineRead::kEnd, ""}}},
      {"", {{LineRead::kEnd, ""}, {LineRead::kEnd, ""}}},
      {std::string(3000, 'x') + "\n1\n",
       {{LineRead::kLine, std::string(kMaxAnswerLength, 'x')}, {LineRead::kLine, "1"}}},
  };
  for (const Case& c : cases) {
    Pipe input;
    input.Put(c.typed);
    input.CloseWrite();
    for (std::size_t i = 0; i < c.reads.size(); ++i) {
      std::string line = "stale";
      EXPECT_EQ(ReadAnswerLine(input.read, -1, line), c.reads[i].first) << c.typed.substr(0, 20) << " #" << i;
      EXPECT_EQ(line, c.reads[i].second) << c.typed.substr(0, 20) << " #" << i;
    }
  }
}

// An interrupt waiting ends the read at once, whatever was typed so far,
// and the interrupt's bytes are left where they are.
TEST(ReadAnswerLineTest, AnInterruptEndsTheReadAndStaysToBeTaken) {
  for (const std::string typed : {"", "y", "y\n"}) {
    Pipe input, interrupts;
    input.Put(typed);
    interrupts.Put("!");
    std::string line;
    // With a whole line waiting too, the interrupt still wins: the user
    // pressed it after typing.
    EXPECT_EQ(ReadAnswerLine(input.read, interrupts.read, line), LineRead::kInterrupted) << typed;
    EXPECT_EQ(line, "") << typed;
    char byte = 0;
    EXPECT_EQ(read(interrupts.read, &byte, 1), 1) << typed;
  }
  // Without an interrupt the watched pipe does not disturb the read.
  Pipe input, interrupts;
  input.Put("n\n");
  std::string line;
  EXPECT_EQ(ReadAnswerLine(input.read, interrupts.read, line), LineRead::kLine);
  EXPECT_EQ(line, "n");
}

}  // namespace
}  // namespace kx::cli
