// CNextDlg's settings file: the behaviour mode read, the retry counts written.
#include "camera/next_dlg.h"
#include "platform/private_profile.h"

namespace kx {

void CNextDlg::ReadBehaviorMode(std::int32_t& mode) const {
  std::uint32_t read = platform::GetPrivateProfileInt("Behavior", "Mode", 0, kSettingsFileName);
  mode = (read >= 1 && read <= 4) ? static_cast<std::int32_t>(read) : 0;
}

int CNextDlg::WriteRetryCount(std::int32_t count, const std::string& key) {
  return WriteRetryCount(count, key, platform::Durability::kFlushed);
}

int CNextDlg::WriteRetryCount(std::int32_t count, const std::string& key,
                              platform::Durability durability) {
  const platform::FileStatus written = platform::WritePrivateProfileString(
      "NumOfRetryPackets", key, std::to_string(count), kSettingsFileName, durability);
  if (written) return 1;
  if (!m_settingsWriteFailure) m_settingsWriteFailure = SettingsWriteFailure{key, count, written};
  return 0;
}

std::string CNextDlg::SettingsWriteFailureReason() const {
  if (!m_settingsWriteFailure) return "";
  const SettingsWriteFailure& failure = *m_settingsWriteFailure;
  std::string reason = failure.key + "=" + std::to_string(failure.count) +
                       " could not be written to " + kSettingsFileName;
  reason += " (" + platform::DescribeFileStatus(failure.status) + ")";
  return reason;
}

bool CNextDlg::AppendSettingsWarning() {
  if (!m_settingsWriteFailure || m_bSettingsWarningLogged) return false;
  m_bSettingsWarningLogged = true;
  const bool atLineStart = m_strLog.empty() || m_strLog.ends_with("\r\n");
  m_strLog += atLineStart ? Text(421) + "\r\n" : "\r\n" + Text(421);
  return true;
}

}  // namespace kx
