// The update dialog's window in a terminal: the log as it grows, progress as
// a bar on a terminal and as plain "37[%]" lines otherwise, messages as text,
// questions answered at the prompt or by flag.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <optional>
#include <string>

#include "camera/update_dialog_window.h"
#include "res/string_table.h"

namespace kx::cli {

class InterruptWatch;
class LogFile;

struct TerminalAnswers {
  std::optional<bool> downgrade;  // --yes / --no for question 405
  bool interactive = false;       // a person at a terminal can answer
  LogFile* logFile = nullptr;     // --log-file: lines appended, time-stamped
  int input = STDIN_FILENO;       // where typed answers come from
};

// How many answers the board choice takes before it gives up.
inline constexpr int kBoardChoiceTries = 3;

class TerminalWindow : public UpdateDialogWindow {
 public:
  // The log and the messages go to `out`; notices of the tool's own (an
  // interrupt held off) to `notices`. `language` is that of the headings and
  // prompts, the dialog's own.
  TerminalWindow(TerminalAnswers answers, Language language, std::FILE* out, bool drawBar,
                 std::FILE* notices = stderr);

  void Show() override {}
  void SetLogText(const std::string& text) override;
  void ShowProgress(const std::string& logWithProgress, std::int32_t percent) override;
  void SetStatusText(const std::string& text) override;
  void SetButtonTexts(const std::string&, const std::string&) override {}
  void EnableStart(bool) override {}
  void EnableCancel(bool) override {}
  void Repaint() override { std::fflush(out_); }
  MessageAnswer ShowMessage(const std::string& text, MessageIcon icon,
                            MessageButtons buttons) override;
  std::optional<std::string> ChooseBoard(const std::vector<std::string>& ids) override;
  WaitOutcome WaitForSignal(platform::AutoResetEvent& event,
                            std::optional<std::chrono::milliseconds> timeout) override;
  void EndDialog(DialogResult result) override { result_ = result; }

  // While the components are written: the interrupts that reach the run
  // (null: none are watched). The first one is told once, naming the
  // component being written; at the question, one answers No.
  void WatchInterrupts(InterruptWatch* watch) { interrupts_ = watch; }

  // Ends the log's last line, if open, and the log file's.
  void Finish();
  std::optional<DialogResult> result() const { return result_; }
  // A line of the tool's own for --log-file, time-stamped like the log's.
  void LogNote(const std::string& line) { LogLine(line); }
  // Why the board choice was not made, when it was not.
  const std::string& choiceProblem() const { return choiceProblem_; }

 private:
  void Write(const std::string& text);  // log text, CR LF as line breaks
  void ClearBar();
  void BreakLine();  // makes room below an unfinished log line
  void LogLine(const std::string& line);
  std::string Text(int id) const { return LoadString(id, language_); }
  // Tells the first interrupt that is waiting; takes the others unsaid.
  void NoticeInterrupts();
  // The component whose step line the log shows last: the one being written.
  std::string WrittenLabel() const;

  TerminalAnswers answers_;
  Language language_;
  std::FILE* out_;
  bool drawBar_;
  std::FILE* notices_;
  std::string shown_;        // the log text printed so far
  std::string openLine_;     // the log's unfinished last line
  bool barVisible_ = false;
  bool lineBroken_ = false;    // on a terminal: the open line was cut by other output
  std::size_t brokenAt_ = 0;   // elsewhere: how much of the open line is printed
  InterruptWatch* interrupts_ = nullptr;
  bool interruptNoticed_ = false;
  std::optional<DialogResult> result_;
  std::string choiceProblem_;
};

}  // namespace kx::cli
