// What the update dialog's logic needs from the window that shows it. The Qt
// wizard, the terminal tool and the tests each implement it; none of them
// holds a rule of the update.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/auto_reset_event.h"

namespace kx {

enum class MessageIcon { kNone, kError, kWarning, kQuestion, kInformation };
enum class MessageButtons { kOk, kYesNo };
enum class MessageAnswer { kOk, kYes, kNo };
enum class DialogResult { kOk, kCancel };

// How a wait for a driver event ended.
enum class WaitOutcome {
  kSignalled,  // the event was set (and is now reset)
  kTimedOut,   // the time limit passed first
  kQuit,       // the front end was asked to quit while waiting
};

class UpdateDialogWindow {
 public:
  virtual ~UpdateDialogWindow() = default;
  virtual void Show() = 0;
  virtual void SetLogText(const std::string& text) = 0;     // the whole log view
  // The log view during a component's write: the log followed by the
  // progress text ("37[%]"); `percent` is that number as the driver sent it,
  // for front ends that draw a bar.
  virtual void ShowProgress(const std::string& logWithProgress, std::int32_t percent) {
    (void)percent;
    SetLogText(logWithProgress);
  }
  // The board the dialog opened, once it is chosen: a PC may hold several,
  // so front ends that can show it do.
  virtual void ShowBoard(const std::string& boardId) { (void)boardId; }
  virtual void SetStatusText(const std::string& text) = 0;  // the status line
  virtual void SetButtonTexts(const std::string& start, const std::string& cancel) = 0;
  virtual void EnableStart(bool on) = 0;
  virtual void EnableCancel(bool on) = 0;
  virtual void Repaint() = 0;
  // A modal message; a request without an icon is shown with the warning icon.
  virtual MessageAnswer ShowMessage(const std::string& text, MessageIcon icon,
                                    MessageButtons buttons) = 0;
  // The board selection: `ids` are sorted and the first is preselected; the
  // choice is disabled with fewer than two. nullopt: the choice was cancelled.
  virtual std::optional<std::string> ChooseBoard(const std::vector<std::string>& ids) = 0;
  // Waits for `event` while the front end stays alive (paints, moves, keeps
  // its progress bar going); no limit when `timeout` is empty.
  virtual WaitOutcome WaitForSignal(platform::AutoResetEvent& event,
                                    std::optional<std::chrono::milliseconds> timeout) = 0;
  virtual void EndDialog(DialogResult result) = 0;
};

}  // namespace kx
