// CNextDlg: the update dialog's whole logic — the camera connection, the
// initialisation up to the update decision, and the update run — written
// against the driver and the dialog's window, never drawing itself.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "camera/camera_driver.h"
#include "camera/driver_event_state.h"
#include "camera/update_dialog_window.h"
#include "platform/auto_reset_event.h"
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
};

class CNextDlg {
 public:
  // The driver and the window must outlive the dialog.
  CNextDlg(CameraDriver& driver, UpdateDialogWindow& window, NextDlgOptions options = {});
  ~CNextDlg();  // deletes the camera when one was created
  CNextDlg(const CNextDlg&) = delete;
  CNextDlg& operator=(const CNextDlg&) = delete;

  // --- camera connection (camera_connection.cpp) ---

  // Enumerates the boards, lets the window choose when several are present,
  // creates the camera and registers OnDriverEvent with this dialog.
  // 1: open. 0: no board, the choice was cancelled or the driver reported an
  // error; m_hCamera may still hold a handle, which the destructor deletes.
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
  // Writes `count` ("%ld") under `key` in [NumOfRetryPackets]; the write's success.
  int WriteRetryCount(std::int32_t count, const std::string& key) const;

  // --- shared helpers ---

  // The driver error's symbolic name, or "error" for a code without one.
  static std::string DriverErrorLabel(std::int32_t code);

  CAM_HANDLE CameraHandle() const { return m_hCamera; }
  const std::string& Log() const { return m_strLog; }
  UpdateDataSet& UpdateData() { return m_updateData; }

 private:
  CameraDriver& m_driver;
  UpdateDialogWindow& m_window;
  NextDlgOptions m_options;

  UpdateDataSet m_updateData;
  CAM_HANDLE m_hCamera = 0;
  std::string m_strLog;
  std::int32_t m_bFwAreaError = 0;
  std::unique_ptr<platform::AutoResetEvent> m_hDriverEvent;

  DriverEventQueue m_events;
  DriverEvent m_currentEvent;
  std::int32_t m_lastEventCode = 0;
  bool m_eventWaitTimedOut = false;
};

}  // namespace kx
