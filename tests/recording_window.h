// A window for the update dialog's tests: records what the dialog shows and
// answers its questions as the test set them up.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "camera/update_dialog_window.h"
#include "tests/wait_until.h"

namespace kx::testing {

class RecordingWindow : public UpdateDialogWindow {
 public:
  struct Message {
    std::string text;
    MessageIcon icon;
    MessageButtons buttons;
  };

  // --- answers ---
  std::optional<std::string> boardChoice;  // nullopt: the choice is cancelled
  std::deque<MessageAnswer> answers;       // for Yes/No questions; empty: No
  // A wait never blocks longer than this, so a broken test cannot hang; a
  // wait the dialog sets no limit for times out only here.
  std::chrono::milliseconds waitCap{kHangGuard};

  // --- what was shown ---
  bool shown = false;
  std::string log;
  std::vector<std::string> logViews;  // every text the log view was given
  std::string status;
  std::string startText, cancelText;
  bool startEnabled = false;
  bool cancelEnabled = true;
  std::vector<Message> messages;
  std::vector<std::vector<std::string>> boardLists;
  std::optional<DialogResult> result;
  int waits = 0;

  void Show() override { shown = true; }
  void SetLogText(const std::string& text) override;
  void SetStatusText(const std::string& text) override { status = text; }
  void SetButtonTexts(const std::string& start, const std::string& cancel) override;
  void EnableStart(bool on) override { startEnabled = on; }
  void EnableCancel(bool on) override { cancelEnabled = on; }
  void Repaint() override {}
  MessageAnswer ShowMessage(const std::string& text, MessageIcon icon,
                            MessageButtons buttons) override;
  std::optional<std::string> ChooseBoard(const std::vector<std::string>& ids) override;
  WaitOutcome WaitForSignal(platform::AutoResetEvent& event,
                            std::optional<std::chrono::milliseconds> timeout) override;
  void EndDialog(DialogResult r) override { result = r; }
};

}  // namespace kx::testing
