// The update dialog's window in a terminal: the log as it grows, progress as
// a bar on a terminal and as plain "37[%]" lines otherwise, messages as text,
// questions answered at the prompt or by flag.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

#include "camera/update_dialog_window.h"

namespace kx::cli {

struct TerminalAnswers {
  std::optional<bool> downgrade;       // --yes / --no for question 405
  bool interactive = false;            // a person at a terminal can answer
  std::string logFile;                 // --log-file: lines appended, time-stamped
};

class TerminalWindow : public UpdateDialogWindow {
 public:
  TerminalWindow(TerminalAnswers answers, std::FILE* out, bool drawBar);

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

  // Ends the log's last line, if open, and the log file's.
  void Finish();
  std::optional<DialogResult> result() const { return result_; }
  // Why the board choice was not made, when it was not.
  const std::string& choiceProblem() const { return choiceProblem_; }

 private:
  void Write(const std::string& text);  // log text, CR LF as line breaks
  void ClearBar();
  void BreakLine();  // makes room below an unfinished log line
  void LogLine(const std::string& line);

  TerminalAnswers answers_;
  std::FILE* out_;
  bool drawBar_;
  std::string shown_;        // the log text printed so far
  std::string openLine_;     // the log's unfinished last line
  bool barVisible_ = false;
  bool lineBroken_ = false;    // on a terminal: the open line was cut by other output
  std::size_t brokenAt_ = 0;   // elsewhere: how much of the open line is printed
  std::optional<DialogResult> result_;
  std::string choiceProblem_;
};

}  // namespace kx::cli
