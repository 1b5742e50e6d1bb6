// The update dialog's window in a terminal, driven as the dialog drives it:
// what the screen shows, the headings, the board choice, the interrupts.
#include "cli/terminal_window.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <thread>

#include "cli/interrupt_watch.h"
#include "cli/log_file.h"
#include "cli/terminal_screen_for_tests.h"
#include "res/string_table.h"
#include "tests/scratch_dir.h"

namespace kx::cli {
namespace {

using testing::ScreenLines;
using Lines = std::vector<std::string>;

// A stream whose bytes the test reads back.
class Capture {
 public:
  Capture() : file_(open_memstream(&data_, &size_)) {}
  ~Capture() {
    std::fclose(file_);
    std::free(data_);
  }
  std::FILE* file() { return file_; }
  std::string text() {
    std::fflush(file_);
    return std::string(data_, size_);
  }

 private:
  char* data_ = nullptr;
  std::size_t size_ = 0;
  std::FILE* file_;
};

// A pipe whose reading end stands for the keyboard.
class Keyboard {
 public:
  Keyboard() {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) == 0) {
      read_ = ends[0];
      write_ = ends[1];
    }
  }
  ~Keyboard() {
    close(read_);
    End();
  }
  int fd() const { return read_; }
  void Type(const std::string& text) {
    ASSERT_EQ(write(write_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }
  void End() {
    if (write_ >= 0) close(write_);
    write_ = -1;
  }

 private:
  int read_ = -1;
  int write_ = -1;
};

const std::string kStep = "Updates Firm(Boot).....";
const std::string kQuestion = LoadString(405, Language::kEnglish);

struct RedrawCase {
  const char* name;
  bool drawBar;
  std::function<void(TerminalWindow&)> calls;
  Lines screen;
};

// The log line a step writes is shown once, whatever came between its start
// and its end: progress, a status line, a question answered, a failure.
TEST(TerminalWindowTest, TheOpenLogLineIsShownOnceAroundOtherOutput) {
  const std::string done = kStep + "Completed\r\n";
  const RedrawCase cases[] = {
      {"ProgressThenCompletion", true,
       [&](TerminalWindow& w) {
         w.SetLogText(kStep);
         w.ShowProgress(kStep + "50[%]", 50);
         w.ShowProgress(kStep + "100[%]", 100);
         w.SetLogText(done);
       },
       {kStep + "Completed", ""}},
      {"StatusLineBeforeProgress", true,
       [&](TerminalWindow& w) {
         w.SetLogText(kStep);
         w.SetStatusText("It is updating.");
         w.ShowProgress(kStep + "25[%]", 25);
         w.SetLogText(done);
       },
       {kStep, "[It is updating.]", kStep + "Completed", ""}},
      {"QuestionAnsweredByFlag", true,
       [&](TerminalWindow& w) {
         w.SetLogText(kStep);
         w.ShowMessage(kQuestion, MessageIcon::kQuestion, MessageButtons::kYesNo);
         w.ShowProgress(kStep + "25[%]", 25);
         w.ShowProgress(kStep + "100[%]", 100);
         w.SetLogText(done);
       },
       {kStep, "", "Question:", kQuestion, "[y/N] y (answered by --yes)", kStep + "Completed", ""}},
      {"QuestionThenCompletionWithoutProgress", true,
       [&](TerminalWindow& w) {
         w.SetLogText(kStep);
         w.ShowMessage(kQuestion, MessageIcon::kQuestion, MessageButtons::kYesNo);
         w.SetLogText(done);
       },
       {kStep, "", "Question:", kQuestion, "[y/N] y (answered by --yes)", kStep + "Completed", ""}},
      {"FailureAfterProgress", true,
       [&](TerminalWindow& w) {
         w.SetLogText(kStep);
         w.ShowProgress(kStep + "50[%]", 50);
         w.SetLogText(kStep + "Failuer.\r\n(kCAM_NO_ERROR)");
         w.SetStatusText("Update is canceled.");
         w.Finish();
       },
       {kStep + "Failuer.", "(kCAM_NO_ERROR)", "[Update is canceled.]", ""}},
      {"LinesWithoutATerminal", false,
       [&](TerminalWindow& w) {
         w.SetLogText(kStep);
         w.SetStatusText("It is updating.");
         w.ShowProgress(kStep + "25[%]", 25);
         w.ShowMessage(kQuestion, MessageIcon::kQuestion, MessageButtons::kYesNo);
         w.ShowProgress(kStep + "100[%]", 100);
         w.SetLogText(done);
       },
       {kStep, "[It is updating.]", "25[%]", "", "Question:", kQuestion,
        "[y/N] y (answered by --yes)", "100[%]", kStep + "Completed", ""}},
  };
  for (const RedrawCase& c : cases) {
    Capture out;
    TerminalAnswers answers;
    answers.downgrade = true;
    TerminalWindow window(answers, Language::kEnglish, out.file(), c.drawBar);
    c.calls(window);
    EXPECT_EQ(ScreenLines(out.text()), c.screen) << c.name << "\n" << ::testing::PrintToString(out.text());
  }
}

// The heading above a message follows the language, as the message does;
// the log file gets the heading and the text on one line.
TEST(TerminalWindowTest, HeadingsFollowTheLanguage) {
  struct Case {
    MessageIcon icon;
    Language language;
    std::string heading;
  };
  const Case cases[] = {
      {MessageIcon::kQuestion, Language::kEnglish, "Question:"},
      {MessageIcon::kWarning, Language::kEnglish, "Warning:"},
      {MessageIcon::kNone, Language::kEnglish, "Warning:"},  // no icon: the warning icon
      {MessageIcon::kError, Language::kEnglish, "Error:"},
      {MessageIcon::kInformation, Language::kEnglish, "Information:"},
      {MessageIcon::kQuestion, Language::kJapanese, "確認:"},
      {MessageIcon::kWarning, Language::kJapanese, "警告:"},
      {MessageIcon::kNone, Language::kJapanese, "警告:"},
      {MessageIcon::kError, Language::kJapanese, "エラー:"},
      {MessageIcon::kInformation, Language::kJapanese, "情報:"},
  };
  ::kx::testing::ScratchDir dir;
  for (const Case& c : cases) {
    std::remove("log.txt");
    std::string problem;
    auto logFile = LogFile::Open("log.txt", problem);
    ASSERT_NE(logFile, nullptr) << problem;
    Capture out;
    TerminalAnswers answers;
    answers.logFile = logFile.get();
    const std::string text = LoadString(410, c.language);
    TerminalWindow(answers, c.language, out.file(), false).ShowMessage(text, c.icon, MessageButtons::kOk);
    EXPECT_EQ(out.text(), "\n" + c.heading + "\n" + text + "\n") << c.heading;
    const std::string logged = ::kx::testing::ReadFileText("log.txt");
    EXPECT_NE(logged.find(" " + c.heading + " " + text + "\n"), std::string::npos) << logged;
  }
}

// What a board id or a file name filled into a message, or a board id in
// the choice, holds is shown escaped; the table's line breaks stay.
TEST(TerminalWindowTest, OutsideTextIsShownEscaped) {
  Capture out;
  TerminalAnswers answers;
  TerminalWindow window(answers, Language::kEnglish, out.file(), false);
  window.ShowMessage("The PCI-board KX58-\x1b]0;owned\x07 is not present.\nUpdate is exited.\n(Error Code:01)",
                     MessageIcon::kError, MessageButtons::kOk);
  EXPECT_EQ(out.text(),
            "\nError:\nThe PCI-board KX58-\\x1b]0;owned\\x07 is not present.\nUpdate is exited.\n"
            "(Error Code:01)\n");

  Capture chooser;
  Keyboard keys;
  keys.Type("2\n");
  answers.interactive = true;
  answers.input = keys.fd();
  TerminalWindow choosing(answers, Language::kEnglish, chooser.file(), false);
  EXPECT_EQ(choosing.ChooseBoard({"KX58-\x1b[2J", "KX58-\xc2\x9b" "1m"}), "KX58-\xc2\x9b" "1m");
  EXPECT_NE(chooser.text().find("  1) KX58-\\x1b[2J\n  2) KX58-\\xc2\\x9b1m\n"), std::string::npos)
      << chooser.text();
  EXPECT_EQ(chooser.text().find('\x1b'), std::string::npos);
}

// Each wrong answer says why and asks again; the third ends the choice, as
// does the end of the input at any prompt.
TEST(TerminalWindowTest, BoardChoiceAsksThreeTimes) {
  const std::vector<std::string> ids = {"KX58-0001", "KX58-0002", "KX58-0003"};
  const std::string none3 = "no board was chosen: 3 answers named none of the 3 boards";
  const std::string cancelled = "the board choice was cancelled";
  struct Case {
    std::string typed;  // then the input ends
    std::optional<std::string> chosen;
    std::string problem;
    Lines reasons;  // what the wrong answers were told, in order
  };
  const Case cases[] = {
      {"\n", "KX58-0001", "", {}},  // the preselected first
      {"3\n", "KX58-0003", "", {}},
      {" 2 \n", "KX58-0002", "", {}},
      {"02\n", "KX58-0002", "", {}},
      {"0\n2\n", "KX58-0002", "", {"There is no PCI-board 0: choose 1 to 3."}},
      {"4\nx\n1\n", "KX58-0001", "",
       {"There is no PCI-board 4: choose 1 to 3.", "'x' is not a number: choose 1 to 3."}},
      {"0\n4\n99999999999999999999999\n", std::nullopt, none3,
       {"There is no PCI-board 0: choose 1 to 3.", "There is no PCI-board 4: choose 1 to 3.",
        "There is no PCI-board 99999999999999999999999: choose 1 to 3."}},
      {"-1\n+2\n2x\n3\n", std::nullopt, none3,
       {"'-1' is not a number: choose 1 to 3.", "'+2' is not a number: choose 1 to 3.",
        "'2x' is not a number: choose 1 to 3."}},
      {"", std::nullopt, cancelled, {}},
      {"x\n", std::nullopt, cancelled, {"'x' is not a number: choose 1 to 3."}},
      {"5\n0\n", std::nullopt, cancelled,
       {"There is no PCI-board 5: choose 1 to 3.", "There is no PCI-board 0: choose 1 to 3."}},
  };
  for (const Case& c : cases) {
    Capture out;
    Keyboard keys;
    keys.Type(c.typed);
    keys.End();
    TerminalAnswers answers;
    answers.interactive = true;
    answers.input = keys.fd();
    TerminalWindow window(answers, Language::kEnglish, out.file(), false);
    EXPECT_EQ(window.ChooseBoard(ids), c.chosen) << c.typed;
    EXPECT_EQ(window.choiceProblem(), c.problem) << c.typed;
    const std::string text = out.text();
    EXPECT_EQ(text.rfind("\nSelect the PCI-board\n  1) KX58-0001\n  2) KX58-0002\n  3) KX58-0003\n", 0), 0u) << text;
    Lines told;
    for (const std::string& line : ScreenLines(text)) {
      const std::size_t at = line.find("Choose a PCI-board (1 to 3) [1]: ");
      if (at == std::string::npos) continue;
      const std::string after = line.substr(at + 33);
      if (!after.empty()) told.push_back(after);
    }
    EXPECT_EQ(told, c.reasons) << text;
  }
  // In Japanese the prompt and the reasons are Japanese.
  Capture out;
  Keyboard keys;
  keys.Type("7\n1\n");
  TerminalAnswers answers;
  answers.interactive = true;
  answers.input = keys.fd();
  TerminalWindow window(answers, Language::kJapanese, out.file(), false);
  EXPECT_EQ(window.ChooseBoard(ids), "KX58-0001");
  EXPECT_NE(out.text().find("PCIボード選択\n"), std::string::npos) << out.text();
  EXPECT_NE(out.text().find("PCIボードを選択してください（1～3）[1]: PCIボード7はありません。1～3を選択してください。\n"),
            std::string::npos)
      << out.text();
}

// The signals the watch takes while it lives, and those it ignores; the
// handling from before comes back after it.
TEST(InterruptWatchTest, TakesTheInterruptsAndPutsTheHandlingBack) {
  static volatile sig_atomic_t before = 0;
  struct sigaction own {};
  own.sa_handler = [](int) { before = before + 1; };
  sigemptyset(&own.sa_mask);
  const int caught[] = {SIGINT, SIGQUIT, SIGTERM, SIGTSTP};
  const int ignored[] = {SIGHUP, SIGPIPE};
  struct sigaction saved[6];
  int all[6];
  int n = 0;
  for (int s : caught) all[n++] = s;
  for (int s : ignored) all[n++] = s;
  for (int i = 0; i < 6; ++i) sigaction(all[i], &own, &saved[i]);
  {
    InterruptWatch watch;
    ASSERT_GE(watch.fd(), 0);
    EXPECT_FALSE(watch.TakeInterrupts());
    for (int s : caught) {
      raise(s);  // would end or stop the test without the watch's handler
      EXPECT_TRUE(watch.TakeInterrupts()) << strsignal(s);
      EXPECT_FALSE(watch.TakeInterrupts()) << strsignal(s);
    }
    for (int s : ignored) {
      struct sigaction now {};
      sigaction(s, nullptr, &now);
      EXPECT_EQ(now.sa_handler, SIG_IGN) << strsignal(s);
      raise(s);
      EXPECT_FALSE(watch.TakeInterrupts()) << strsignal(s);
    }
    // Many at once are one to take, and a full pipe does not block the handler.
    for (int i = 0; i < 70000; ++i) raise(SIGINT);  // more bytes than a pipe holds
    EXPECT_TRUE(watch.TakeInterrupts());
    EXPECT_FALSE(watch.TakeInterrupts());
    EXPECT_EQ(before, 0);
  }
  for (int s : all) raise(s);
  EXPECT_EQ(before, 6) << "every signal reached the handler from before again";
  for (int i = 0; i < 6; ++i) sigaction(all[i], &saved[i], nullptr);
}

// While a component is written the first interrupt is told once, naming
// the component whose step the log shows last, in the dialog's language.
TEST(TerminalWindowTest, AnInterruptWhileWritingIsToldOnce) {
  struct Case {
    Language language;
    std::string log;
    std::string notice;
  };
  const auto english = [](const std::string& label) {
    return "Writing " + label +
           ": interrupting now could leave a board that does not start; the update goes on.\n";
  };
  const std::string ready = "Initializing.....Completed\r\nChecking the file.....Completed\r\n"
                            "Opens the file.....Completed\r\n";
  const Case cases[] = {
      {Language::kEnglish, ready + "Updates FPGA1.....", english("FPGA1")},
      {Language::kEnglish, ready + "Updates FPGA1.....Completed\r\nUpdates FPGA2.....", english("FPGA2")},
      {Language::kEnglish, ready + "Updates FPGA2.....Completed\r\nUpdates Firm(Appl).....",
       english("Firm(Appl)")},
      {Language::kEnglish, ready + "Updates Firm(Appl).....Completed\r\nUpdates Firm(Boot).....",
       english("Firm(Boot)")},
      {Language::kJapanese, "初期化しています.....完了\r\nFirm(Appl)のアップデートをしています.....",
       "Firm(Appl)を書き込んでいます。いま中断するとボードが起動しなくなるおそれがあります。"
       "アップデートは続きます。\n"},
  };
  for (const Case& c : cases) {
    Capture out, notices;
    TerminalAnswers answers;
    InterruptWatch watch;
    TerminalWindow window(answers, c.language, out.file(), false, notices.file());
    window.WatchInterrupts(&watch);
    window.SetLogText(c.log);
    platform::AutoResetEvent event;
    for (int i = 0; i < 3; ++i) {
      raise(SIGINT);
      event.Signal();
      EXPECT_EQ(window.WaitForSignal(event, std::nullopt), WaitOutcome::kSignalled);
    }
    raise(SIGTERM);
    window.ShowProgress(c.log + "50[%]", 50);
    EXPECT_EQ(notices.text(), c.notice);
    window.WatchInterrupts(nullptr);
  }
}

// The waits in slices keep the whole wait's limit, and a signal from the
// driver's thread still ends them.
TEST(TerminalWindowTest, WatchedWaitsKeepTheirOutcome) {
  Capture out;
  TerminalAnswers answers;
  InterruptWatch watch;
  TerminalWindow window(answers, Language::kEnglish, out.file(), false);
  window.WatchInterrupts(&watch);
  platform::AutoResetEvent event;
  EXPECT_EQ(window.WaitForSignal(event, std::chrono::milliseconds(1)), WaitOutcome::kTimedOut);
  EXPECT_EQ(window.WaitForSignal(event, std::chrono::milliseconds(250)), WaitOutcome::kTimedOut);
  std::thread driver([&] { event.Signal(); });
  EXPECT_EQ(window.WaitForSignal(event, std::nullopt), WaitOutcome::kSignalled);
  driver.join();
  event.Signal();
  EXPECT_EQ(window.WaitForSignal(event, std::chrono::milliseconds(1)), WaitOutcome::kSignalled);
}

// At the question an interrupt is the answer No, at once: also with an
// answer typed but not yet read.
TEST(TerminalWindowTest, AnInterruptAtTheQuestionAnswersNo) {
  for (const std::string typed : {"", "y"}) {
    Capture out, notices;
    Keyboard keys;
    keys.Type(typed);
    TerminalAnswers answers;
    answers.interactive = true;
    answers.input = keys.fd();
    InterruptWatch watch;
    TerminalWindow window(answers, Language::kEnglish, out.file(), false, notices.file());
    window.WatchInterrupts(&watch);
    window.SetLogText(kStep);
    std::thread user([] { kill(getpid(), SIGINT); });
    EXPECT_EQ(window.ShowMessage(kQuestion, MessageIcon::kQuestion, MessageButtons::kYesNo),
              MessageAnswer::kNo);
    user.join();
    EXPECT_EQ(out.text(), kStep + "\n\nQuestion:\n" + kQuestion + "\n[y/N] \nn (interrupted)\n");
    EXPECT_EQ(notices.text(), "") << "no notice: nothing is being written";
    EXPECT_FALSE(watch.TakeInterrupts()) << "the interrupt was the answer";
  }
  // Without an interrupt the typed answer counts.
  Capture out;
  Keyboard keys;
  keys.Type("y\n");
  TerminalAnswers answers;
  answers.interactive = true;
  answers.input = keys.fd();
  InterruptWatch watch;
  TerminalWindow window(answers, Language::kEnglish, out.file(), false);
  window.WatchInterrupts(&watch);
  EXPECT_EQ(window.ShowMessage(kQuestion, MessageIcon::kQuestion, MessageButtons::kYesNo),
            MessageAnswer::kYes);
}

}  // namespace
}  // namespace kx::cli
