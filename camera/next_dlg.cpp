#include "camera/next_dlg.h"

#include "errors/driver_error_table.h"

namespace kx {

CNextDlg::CNextDlg(CameraDriver& driver, UpdateDialogWindow& window, NextDlgOptions options)
    : m_driver(driver),
      m_window(window),
      m_options(options),
      // Made before the camera is opened, so that an event the driver sends
      // early finds an event to signal.
      m_hDriverEvent(std::make_unique<platform::AutoResetEvent>()) {}

CNextDlg::~CNextDlg() {
  // The driver calls back no more once the camera is deleted; only then may
  // the event and the queue go.
  if (m_hCamera != 0) m_driver.CAM_DeleteCameraEx(m_hCamera, 1);
}

std::string CNextDlg::DriverErrorLabel(std::int32_t code) {
  char name[256];
  DriverErrorTable table;
  if (table.DriverErrorName(code, name, sizeof name) == 0) return "error";
  return name;
}

}  // namespace kx
