// CUpdateApp: the single-instance rule, run on the built DERadori, and the
// update dialog when no driver library can be loaded.
#include <QFile>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTest>
#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "app/modal_script.h"
#include "app/next_dlg_window.h"
#include "app/qt_test_main.h"
#include "app/update_app.h"
#include "app/wizard_scratch.h"
#include "camera/next_dlg.h"
#include "camera/unavailable_driver.h"
#include "platform/named_lock.h"
#include "res/string_table.h"
#include "tests/wait_until.h"

using kx::app::CNextDlgWindow;
using kx::app::CUpdateApp;
using kx::app::testing::ClickButton;
using kx::app::testing::ModalScript;
using kx::app::testing::WidgetOfType;
using kx::app::testing::WizardScratch;

namespace {

// A platform plugin that does not exist: a process that opens a display
// with it dies, so one that exits 0 with it has shown nothing.
constexpr const char* kNoDisplay = "kx-no-such-platform";

constexpr int kHangGuardMs =
    static_cast<int>(std::chrono::milliseconds(kx::testing::kHangGuard).count());

struct Finished {
  bool inTime;
  QProcess::ExitStatus status;
  int code;
};

// Runs the program to its end; the limit only ends one that hangs.
Finished RunWithoutDisplay(const QString& program) {
  QProcess process;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", kNoDisplay);
  process.setProcessEnvironment(env);
  process.start(program, {"--some", "argument"});
  const bool inTime = process.waitForFinished(kHangGuardMs);
  if (!inTime) {
    process.kill();
    process.waitForFinished();
  }
  return {inTime, process.exitStatus(), process.exitCode()};
}

}  // namespace

class CUpdateAppTest : public QObject {
  Q_OBJECT

 private slots:
  // While a first DERadori runs its start dialog, a second start under the
  // same name ends by itself with 0 and opens no display (one that waited
  // for the first would run into the hang guard, as the first never ends by
  // itself); a copy under another name does not see the first and tries to
  // open its own.
  void secondInstanceEndsAtOnce() {
    WizardScratch scratch;
    QProcess first;
    first.start(QStringLiteral(DERADORI_PATH), {});
    QVERIFY(first.waitForStarted(kHangGuardMs));
    // The first instance holds the lock once its id is in the lock file.
    const auto probe = CUpdateApp::SingleInstanceLock("DERadori");
    QTRY_VERIFY_WITH_TIMEOUT(probe->HolderPid() == first.processId(), kHangGuardMs);

    const Finished second = RunWithoutDisplay(QStringLiteral(DERADORI_PATH));
    QVERIFY2(second.inTime, "the second instance waited instead of ending");
    QCOMPARE(second.status, QProcess::NormalExit);
    QCOMPARE(second.code, 0);
    // The first is still up, in its start dialog.
    QCOMPARE(first.state(), QProcess::Running);

    const QString copy = QString::fromStdString(scratch.path() + "/DERadoriCopy");
    QVERIFY(QFile::copy(QStringLiteral(DERADORI_PATH), copy));
    const Finished other = RunWithoutDisplay(copy);
    QVERIFY(other.inTime);
    QVERIFY2(other.status != QProcess::NormalExit || other.code != 0,
             "a copy under another name must not take the first for itself");

    first.kill();
    QVERIFY(first.waitForFinished(kHangGuardMs));
  }

  // Without a loadable driver the dialog ends as without a board: the 01
  // box, the log names the library's start failure, Cancel ends it.
  void missingDriverLibraryGivesError01() {
    WizardScratch scratch;
    const std::string saved = std::getenv("KXUPDATE_DRIVER") ? std::getenv("KXUPDATE_DRIVER") : "";
    ::setenv("KXUPDATE_DRIVER", (scratch.path() + "/no-such-driver.so").c_str(), 1);
    QString log;
    ModalScript script;
    script
        .Answer(QString::fromStdString(kx::LoadString(401, kx::Language::kEnglish)),
                QMessageBox::Ok)
        .Then("stopped update dialog", WidgetOfType<CNextDlgWindow>(), [&](QWidget* w) {
          log = w->findChild<QPlainTextEdit*>("log1002")->toPlainText();
          ClickButton("cancelButton")(w);
        });
    script.Start();
    CUpdateApp::RunUpdateDialog(kx::Language::kEnglish);
    ::setenv("KXUPDATE_DRIVER", saved.c_str(), 1);
    QVERIFY2(script.Finished(), qPrintable(script.Problem()));
    const QString label =
        QString::fromStdString(kx::CNextDlg::DriverErrorLabel(kx::kDriverLibraryUnavailable));
    QVERIFY2(log.endsWith("(" + label + ")"), qPrintable(log));
    QVERIFY(!scratch.BoardFileExists());
  }
};

KX_QTEST_MAIN(CUpdateAppTest)
#include "update_app_test.moc"
