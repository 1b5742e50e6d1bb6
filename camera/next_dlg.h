// CNextDlg: the update dialog's whole logic — the camera connection, the
// initialisation up to the update decision, and the update run — written
// against the driver and the dialog's window, never drawing itself.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "camera/board_lock.h"
#include "camera/camera_driver.h"
#include "camera/data_failure.h"
#include "camera/driver_event_state.h"
#include "camera/run_steps.h"
#include "camera/update_dialog_window.h"
#include "platform/auto_reset_event.h"
#include "platform/file_io.h"
#include "platform/named_lock.h"
#include "res/string_table.h"
#include "res/user_language.h"
#include "updatedata/component_file_choice.h"
#include "updatedata/update_data_set.h"

namespace kx {

// The settings file, relative to the working directory.
inline constexpr const char* kSettingsFileName = "DERadori.ini";

// The driver error code that says the application firmware area is damaged.
inline constexpr std::int32_t kCamCameraFwError = 145;

struct NextDlgOptions {
  // A driver that sends nothing for this long ends the wait (and so the
  // run) as failed. None: wait without end, as the dialog always did.
  std::optional<std::chrono::milliseconds> eventTimeout;
  // The language of every text the dialog shows.
  Language language = UserInterfaceLanguage();
  // Take the per-board lock before the camera is created, so that two
  // updates of one board cannot run at once.
  bool lockBoard = true;
  // Where that lock lives; none: as BoardLockRuleFor(the driver) says.
  std::optional<BoardLockRule> boardLock;
  // The board to open (kxupdate --board): it must be among the boards
  // present, and no choice is offered.
  std::optional<std::string> boardId;
  // False when nobody can choose among several boards (no terminal): the
  // dialog then says that a board must be named, and lists them.
  bool canChooseBoard = true;
  // Look, change nothing (kxupdate update --check): no file is written, not
  // the retry counts' reset and not the rebuilt package; the component files
  // are merged with the package in memory, and that merged package is what
  // is loaded, verified and planned from, as a real run would write it.
  bool changeNoFiles = false;
};

// Why OpenCamera opened no board, where the dialog's own rules decided it
// (the driver's failures are the driver error's matter).
enum class BoardOpenProblem {
  kNone,
  kBoardNotPresent,  // NextDlgOptions::boardId is not among the boards present
  kBoardNotChosen,   // several boards, nobody to choose and none named
  kBoardNotLocked,   // the board's lock was not acquired (BoardLockAttempt says why)
};

// Where the dialog stands; front ends read it to tell how it ended.
enum class DialogState {
  kInitialising,  // OnInitDialog runs
  kStopped,       // initialisation failed; Cancel is the way out
  kReady,         // the update is needed; Start is enabled
  kNotNeeded,     // message 410 shown, the dialog ended with OK
  kRunning,       // OnStart runs
  kCompleted,     // all components written, message 107, ended with OK
  kFailed,        // error 06; Cancel is the way out
  kCancelled,     // an older version was declined; Cancel is the way out
};

// The first write of the settings file that failed: the key and the count
// it was to store, and the system's error number (0 when it gave none).
struct SettingsWriteFailure {
  std::string key;
  std::int32_t count = 0;
  platform::FileStatus status;  // why
};

// One component as the run would treat it (kxupdate update --check).
struct ComponentPlan {
  Component component;
  std::string packageVersion;
  std::string installedText;  // empty when skipped: the driver is not asked
  RunAction action;
};

class CNextDlg {
 public:
  // The driver and the window must outlive the dialog.
  CNextDlg(CameraDriver& driver, UpdateDialogWindow& window, NextDlgOptions options = {});
  ~CNextDlg();  // deletes the camera when one was created
  CNextDlg(const CNextDlg&) = delete;
  CNextDlg& operator=(const CNextDlg&) = delete;

  // --- initialisation (update_dialog_init.cpp) ---

  // Opens the camera, finds, checks, rebuilds, loads and verifies the update
  // data, reads the installed versions and decides. Ends in kStopped (with
  // ErrorCode() 1, 3, 4 or 8), kReady or kNotNeeded. Always true.
  bool OnInitDialog();

  // -1, 0 or +1: the "V%.2d.%.2d.%.2d" form of `versionName` compared byte
  // by byte with the driver's `installedText`.
  static int CompareWithInstalled(const std::string& versionName, const std::string& installedText);

  // Appends string `id` to the log, shows the whole log, repaints.
  void AppendStatus(int id);

  // --- update run (update_run.cpp) ---

  // Start: writes every component the data set holds, in order. Ends in
  // kCompleted, kFailed (ErrorCode() 6) or kCancelled. Only from kReady.
  void OnStart();

  // The failure ending of the run: log, status, Cancel, message 406.
  void ReportUpdateFailure();

  // For each component, what Start would do with it; asks the driver for
  // the installed versions and sends nothing. Only from kReady.
  std::vector<ComponentPlan> PlanRun();

  // --- camera connection (camera_connection.cpp) ---

  // Enumerates the boards, takes the one the options name or lets the
  // window choose when several are present, locks it, creates the camera and
  // registers OnDriverEvent with this dialog. 1: open. 0: no board, the
  // named board is not present, the choice was cancelled or could not be
  // made, the lock was not acquired (OpenProblem() says which of these), or
  // the driver reported an error; m_hCamera may still hold a handle, which
  // the destructor deletes. Nothing reaches the driver after the
  // enumeration unless the board is chosen and locked.
  int OpenCamera();

  // Takes the next driver event, waiting for one while the window stays
  // alive. 1: CurrentEvent() holds it (or, after a quit request during the
  // wait, the last values the callback stored). 0: the wait failed or timed
  // out (EventWaitTimedOut() then says so).
  int WaitForDriverEvent();

  // The event callback registered with the driver; any thread.
  static void OnDriverEvent(std::int32_t reserved1, std::int32_t type, std::int32_t value,
                            std::int32_t reserved2, std::int32_t status, void* context);

  const DriverEvent& CurrentEvent() const { return m_currentEvent; }
  bool EventWaitTimedOut() const { return m_eventWaitTimedOut; }
  // The status of the last progress event (16 or 17) the run has taken.
  std::int32_t LastEventCode() const { return m_lastEventCode; }

  // --- settings file (settings_file.cpp) ---

  // The behaviour mode: 1 to 4 as read from [Behavior] Mode, else 0.
  void ReadBehaviorMode(std::int32_t& mode) const;
  // Writes `count` ("%ld") under `key` in [NumOfRetryPackets], flushed to
  // disk; the write's success. The first write that fails is kept
  // (SettingsWriteFailed).
  int WriteRetryCount(std::int32_t count, const std::string& key);
  // As above, as durable as `durability` asks: the run writes each retried
  // packet's count kAtomicOnly and the component's last one flushed.
  int WriteRetryCount(std::int32_t count, const std::string& key, platform::Durability durability);
  // Whether a write of the settings file failed since the dialog was made;
  // the first failure as a sentence ("" when none).
  bool SettingsWriteFailed() const { return m_settingsWriteFailure.has_value(); }
  std::string SettingsWriteFailureReason() const;

  // --- shared helpers ---

  // The driver error's symbolic name, or "error" for a code without one.
  static std::string DriverErrorLabel(std::int32_t code);

  const NextDlgOptions& Options() const { return m_options; }
  CAM_HANDLE CameraHandle() const { return m_hCamera; }
  const std::string& Log() const { return m_strLog; }
  UpdateDataSet& UpdateData() { return m_updateData; }
  DialogState State() const { return m_state; }
  // The two-digit code of the message the dialog ended with (1, 3, 4, 6 or
  // 8), 0 when none.
  int ErrorCode() const { return m_errorCode; }
  // The driver error whose name the log shows after a failure.
  std::int32_t FailureDriverError() const { return m_failureDriverError; }
  // Why initialisation stopped at the update data (ErrorCode() 3, 4 or 8);
  // empty otherwise. The log and the message keep the string table's texts.
  const DataFailure& FailureReason() const { return m_failureReason; }
  // The components whose pattern matched several files when the component
  // files were looked at: which file was used, which were not read.
  const std::vector<ComponentFileChoice>& ComponentFileChoices() const {
    return m_componentFileChoices;
  }
  // Retried packets per component in this run, in component order.
  const std::array<std::int32_t, kComponentCount>& RetryCounts() const { return m_retryCounts; }
  // The board that was opened, or whose lock was refused (empty until then).
  const std::string& BoardId() const { return m_boardId; }
  // The boards of the model that OpenCamera found, in the driver's order.
  const std::vector<std::string>& BoardsPresent() const { return m_boardsPresent; }
  BoardOpenProblem OpenProblem() const { return m_openProblem; }
  // The board's lock, once OpenCamera has tried it (null before, and
  // without lockBoard), and how that went.
  const platform::NamedLock* BoardLock() const { return m_boardLock.get(); }
  const platform::LockAttempt& BoardLockAttempt() const { return m_boardLockAttempt; }

 private:
  CameraDriver& m_driver;
  UpdateDialogWindow& m_window;
  NextDlgOptions m_options;

  UpdateDataSet m_updateData;
  CAM_HANDLE m_hCamera = 0;
  std::string m_strLog;
  std::int32_t m_bFwAreaError = 0;
  std::unique_ptr<platform::AutoResetEvent> m_hDriverEvent;

  std::string Text(int id) const { return LoadString(id, m_options.language); }
  void FailInitialisation(int message, int errorCode, DataFailure reason);
  std::string BoardOpenMessage() const;  // the 01 message after OpenCamera failed
  ComponentPlan PlanComponent(const RunStep& step);
  bool AwaitEvent(std::int32_t type);
  void EndCancelled();
  // Once per dialog, after a failed settings write: adds to m_strLog the
  // line (string 421) that says so, on a line of its own. After a line end
  // (a step's "Completed\r\n") it ends with one; after the unfinished last
  // line of a failed or cancelled run it starts with one. True when added.
  bool AppendSettingsWarning();

  DialogState m_state = DialogState::kInitialising;
  int m_errorCode = 0;
  std::int32_t m_failureDriverError = 0;
  DataFailure m_failureReason;
  std::vector<ComponentFileChoice> m_componentFileChoices;
  std::array<std::int32_t, kComponentCount> m_retryCounts{};
  std::string m_boardId;
  std::vector<std::string> m_boardsPresent;
  BoardOpenProblem m_openProblem = BoardOpenProblem::kNone;
  std::unique_ptr<platform::NamedLock> m_boardLock;
  std::optional<SettingsWriteFailure> m_settingsWriteFailure;
  bool m_bSettingsWarningLogged = false;
  platform::LockAttempt m_boardLockAttempt;

  DriverEventQueue m_events;
  DriverEvent m_currentEvent;
  std::int32_t m_lastEventCode = 0;
  bool m_eventWaitTimedOut = false;
};

}  // namespace kx
