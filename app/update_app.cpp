#include "app/update_app.h"

#include <QApplication>
#include <iostream>

#include "app/app_icon.h"
#include "app/next_dlg_window.h"
#include "app/qt_translations.h"
#include "app/start_dlg.h"
#include "camera/driver_library.h"
#include "camera/unavailable_driver.h"
#include "platform/executable_name.h"
#include "res/user_language.h"

namespace kx::app {

void CUpdateApp::RunUpdateDialog(Language language) {
  std::string error;
  std::unique_ptr<CameraDriver> driver = DriverLibrary::Open(DriverLibraryFromEnvironment(), &error);
  if (!driver) {
    std::cerr << ApplicationDisplayName().toStdString() << ": " << error << "\n";
    driver = std::make_unique<UnavailableDriver>();
  }
  NextDlgOptions options;
  options.language = language;
  CNextDlgWindow window(*driver, options);
  window.RunModal();
}

std::unique_ptr<platform::NamedLock> CUpdateApp::SingleInstanceLock(const std::string& baseName) {
  return std::make_unique<platform::NamedLock>(
      platform::UserLockFolder(), "kx58-" + platform::NamedLock::SafeFileName(baseName) + ".lock",
      platform::LockFolderRule::kPrivate);
}

int CUpdateApp::Run(int argc, char** argv) {
  // A second instance ends at once and shows nothing: no display is even
  // opened before the lock is ours. A lock that cannot be had for another
  // reason does not keep the wizard from running, as the first instance.
  m_instanceLock = SingleInstanceLock(platform::ExecutableBaseName());
  const platform::LockAttempt attempt = m_instanceLock->TryAcquire();
  if (attempt.status == platform::LockStatus::kHeld) return 0;
  if (attempt.status != platform::LockStatus::kAcquired) {
    std::cerr << platform::ExecutableBaseName() << ": no single-instance lock: "
              << platform::DescribeLockAttempt(attempt, *m_instanceLock) << "\n";
  }

  QApplication application(argc, argv);
  application.setWindowIcon(ApplicationIcon());
  const Language language = UserInterfaceLanguage();
  const auto qtTexts = InstallQtTranslations(language);
  CStartDlg start(language, [language] { RunUpdateDialog(language); });
  start.exec();
  return 0;
}

}  // namespace kx::app
