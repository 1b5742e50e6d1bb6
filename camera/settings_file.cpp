// CNextDlg's settings file: the behaviour mode read, the retry counts written.
#include "camera/next_dlg.h"
#include "platform/private_profile.h"

namespace kx {

void CNextDlg::ReadBehaviorMode(std::int32_t& mode) const {
  std::uint32_t read = platform::GetPrivateProfileInt("Behavior", "Mode", 0, kSettingsFileName);
  mode = (read >= 1 && read <= 4) ? static_cast<std::int32_t>(read) : 0;
}

int CNextDlg::WriteRetryCount(std::int32_t count, const std::string& key) const {
  return platform::WritePrivateProfileString("NumOfRetryPackets", key, std::to_string(count),
                                             kSettingsFileName)
             ? 1
             : 0;
}

}  // namespace kx
