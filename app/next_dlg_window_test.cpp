// CNextDlgWindow on the simulated board, loaded through the real driver
// loader: the window's endings, its message boxes and its buttons in each
// state, and that the event loop keeps running while the run waits.
#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <cstdlib>
#include <memory>

#include "app/modal_script.h"
#include "app/next_dlg_window.h"
#include "app/qt_test_main.h"
#include "app/wizard_scratch.h"
#include "camera/driver_library.h"
#include "res/string_table.h"

using kx::app::CNextDlgWindow;
using kx::app::testing::BoardFile;
using kx::app::testing::ClickButton;
using kx::app::testing::ExecutableCaption;
using kx::app::testing::ModalScript;
using kx::app::testing::PressEscape;
using kx::app::testing::WidgetIs;
using kx::app::testing::WizardScratch;

namespace {

QString Text(int id, kx::Language language = kx::Language::kEnglish) {
  return QString::fromStdString(kx::LoadString(id, language));
}

// The dialog's widgets as a user sees them.
struct View {
  explicit View(const CNextDlgWindow& w)
      : log(w.findChild<QPlainTextEdit*>("log1002")->toPlainText()),
        status(w.findChild<QLabel*>("status1009")->text()),
        startEnabled(w.findChild<QPushButton*>("startButton")->isEnabled()),
        cancelEnabled(w.findChild<QPushButton*>("cancelButton")->isEnabled()) {}
  QString log;
  QString status;
  bool startEnabled;
  bool cancelEnabled;
};

// The window on top and ready for Start.
ModalScript::Match ReadyWindow(const CNextDlgWindow* w) {
  return [w](QWidget* top) {
    return top == w && w->findChild<QPushButton*>("startButton")->isEnabled();
  };
}

}  // namespace

class CNextDlgWindowTest : public QObject {
  Q_OBJECT

 private:
  // Opens the simulated board's library as the wizard would, and makes the
  // window on it (the window goes first when the test ends).
  CNextDlgWindow& MakeWindow(kx::Language language = kx::Language::kEnglish) {
    std::string error;
    driver_ = kx::DriverLibrary::Open(kx::DriverLibraryFromEnvironment(), &error);
    if (!driver_) qFatal("driver library: %s", error.c_str());
    kx::NextDlgOptions options;
    options.language = language;
    window_ = std::make_unique<CNextDlgWindow>(*driver_, options);
    return *window_;
  }

  std::unique_ptr<kx::DriverLibrary> driver_;
  std::unique_ptr<CNextDlgWindow> window_;

 private slots:
  void initTestCase() {
    QVERIFY2(std::getenv("KXUPDATE_DRIVER") != nullptr,
             "KXUPDATE_DRIVER names the simulated board");
  }

  void cleanup() {
    window_.reset();
    driver_.reset();
  }

  // Next -> Start -> completion: every component written, one box (107,
  // information, the executable's name as caption), the dialog ends with OK.
  void completedRunEndsWithOk_data() {
    QTest::addColumn<kx::Language>("language");
    QTest::newRow("English") << kx::Language::kEnglish;
    QTest::newRow("Japanese") << kx::Language::kJapanese;
  }
  void completedRunEndsWithOk() {
    QFETCH(kx::Language, language);
    WizardScratch scratch(BoardFile());
    CNextDlgWindow& window = MakeWindow(language);
    View ready(window);
    bool readyChecked = false;
    ModalScript script;
    script
        .Then("ready update dialog", ReadyWindow(&window),
              [&](QWidget*) {
                ready = View(window);
                readyChecked = true;
                ClickButton("startButton")(&window);
              })
        .Answer(Text(107, language), QMessageBox::Ok);
    script.Start();

    QCOMPARE(window.RunModal(), int(QDialog::Accepted));
    QVERIFY2(script.Finished(), qPrintable(script.Problem()));
    QVERIFY(readyChecked);
    QCOMPARE(window.windowTitle(), QStringLiteral("KX-Update Step2"));
    QCOMPARE(ready.status, Text(204, language));
    QString initialised = Text(502, language) + Text(501, language) + Text(503, language) +
                          Text(501, language) + Text(504, language) + Text(501, language);
    QCOMPARE(ready.log, initialised.replace("\r\n", "\n"));
    QVERIFY(ready.cancelEnabled);

    QCOMPARE(script.boxes().size(), size_t{1});
    QCOMPARE(script.boxes()[0].icon, QMessageBox::Information);
    QCOMPARE(script.boxes()[0].title, ExecutableCaption());
    QCOMPARE(script.boxes()[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(scratch.BoardValue("Written KX58-0001", "Order"),
             std::string("FPGA1,FPGA2,Firm(Appl),Firm(Boot)"));
    QCOMPARE(window.logic().State(), kx::DialogState::kCompleted);
  }

  // While the run waits for the board's events the event loop runs: a timer
  // fires many times more often than the run repaints, the log shows the
  // progress, and close requests (Esc, the close box, reject) are ignored.
  void runKeepsEventLoopAndIgnoresCloseRequests() {
    // Four events per component (14, 15, 50 %, 100 %), 60 ms apart: about
    // a second.
    WizardScratch scratch(BoardFile("Board1=KX58-0001\n", "", 60, 50));
    CNextDlgWindow& window = MakeWindow();
    // Each log change is followed by one repaint, which lets a timer fire
    // at most once; every other tick came from a wait that kept the loop going.
    int ticks = 0, logChanges = 0;
    connect(window.findChild<QPlainTextEdit*>("log1002"), &QPlainTextEdit::textChanged, &window,
            [&] { logChanges += window.logic().State() == kx::DialogState::kRunning ? 1 : 0; });
    bool sawProgress = false, closeIgnored = true, buttonsDisabled = true, statusShown = true;
    QTimer tick;
    tick.setInterval(10);
    connect(&tick, &QTimer::timeout, &window, [&] {
      if (window.logic().State() != kx::DialogState::kRunning) return;
      ++ticks;
      const View now(window);
      sawProgress = sawProgress || now.log.contains(QRegularExpression(R"(\.\.\.\.\.\d+\[%\]$)"));
      buttonsDisabled = buttonsDisabled && !now.startEnabled && !now.cancelEnabled;
      statusShown = statusShown && now.status == Text(205);
      if (ticks % 5 == 0) {
        window.close();
        window.reject();
        QTest::keyClick(&window, Qt::Key_Escape);
        closeIgnored = closeIgnored && window.isVisible();
      }
    });
    ModalScript script;
    script
        .Then("ready update dialog", ReadyWindow(&window),
              [&](QWidget*) {
                tick.start();
                ClickButton("startButton")(&window);
              })
        .Answer(Text(107), QMessageBox::Ok);
    script.Start();

    QCOMPARE(window.RunModal(), int(QDialog::Accepted));
    QVERIFY2(script.Finished(), qPrintable(script.Problem()));
    QVERIFY2(ticks > 2 * logChanges,
             qPrintable(QStringLiteral("timer fired %1 times, log changed %2 times")
                            .arg(ticks)
                            .arg(logChanges)));
    QVERIFY(sawProgress);
    QVERIFY(buttonsDisabled);
    QVERIFY(statusShown);
    QVERIFY(closeIgnored);
    QCOMPARE(window.logic().State(), kx::DialogState::kCompleted);
  }

  // A refused write: the 06 box with the critical icon, then Start disabled,
  // Cancel enabled, the failure in the log; now each way out ends the dialog.
  void failureThenEachWayOutEndsDialog_data() {
    QTest::addColumn<QString>("way");
    QTest::newRow("Cancel button") << "cancel";
    QTest::newRow("Esc") << "escape";
    QTest::newRow("close box") << "close";
  }
  void failureThenEachWayOutEndsDialog() {
    QFETCH(QString, way);
    WizardScratch scratch(BoardFile("Board1=KX58-0001\n", "[Fault FPGA1]\nRefuse=1\n"));
    CNextDlgWindow& window = MakeWindow();
    View failed(window);
    ModalScript script;
    script.Then("ready update dialog", ReadyWindow(&window), ClickButton("startButton"))
        .Answer(Text(406), QMessageBox::Ok)
        .Then("failed update dialog", WidgetIs(&window), [&](QWidget*) {
          failed = View(window);
          if (way == "cancel") ClickButton("cancelButton")(&window);
          if (way == "escape") PressEscape()(&window);
          if (way == "close") window.close();
        });
    script.Start();

    QCOMPARE(window.RunModal(), int(QDialog::Rejected));
    QVERIFY2(script.Finished(), qPrintable(script.Problem()));
    QCOMPARE(script.boxes().size(), size_t{1});
    QCOMPARE(script.boxes()[0].icon, QMessageBox::Critical);
    QCOMPARE(script.boxes()[0].title, ExecutableCaption());
    QVERIFY(!failed.startEnabled);
    QVERIFY(failed.cancelEnabled);
    QCOMPARE(failed.status, Text(207));
    const QString label =
        QString::fromStdString(kx::CNextDlg::DriverErrorLabel(window.logic().FailureDriverError()));
    QVERIFY2(failed.log.endsWith(Text(505) + Text(508) + "\n(" + label + ")"),
             qPrintable(failed.log));
    QCOMPARE(window.logic().ErrorCode(), 6);
    QCOMPARE(scratch.BoardValue("Written KX58-0001", "Order"), std::string());
  }

  // The board already runs the package's application firmware: the 410
  // warning, and the dialog ends by itself with OK before any Start.
  void notNeededEndsByItself() {
    WizardScratch scratch(BoardFile("Board1=KX58-0001\n",
                                    "[Board KX58-0001]\nVersion3=V01.02.00\nVersion5=V01.02.00\n"));
    CNextDlgWindow& window = MakeWindow();
    ModalScript script;
    script.Answer(Text(410), QMessageBox::Ok);
    script.Start();

    QCOMPARE(window.RunModal(), int(QDialog::Accepted));
    QVERIFY2(script.Finished(), qPrintable(script.Problem()));
    QCOMPARE(script.boxes().size(), size_t{1});
    QCOMPARE(script.boxes()[0].icon, QMessageBox::Warning);
    QVERIFY(!window.isVisible());
    QCOMPARE(window.logic().State(), kx::DialogState::kNotNeeded);
    QCOMPARE(scratch.BoardValue("Written KX58-0001", "Order"), std::string());
  }

  // An FPGA no newer than the board's: the Yes/No question 405. No cancels
  // the run (log ends with "Cancel", status 207, Cancel is the way out); Yes
  // writes everything.
  void olderVersionQuestion_data() {
    QTest::addColumn<bool>("yes");
    QTest::newRow("No") << false;
    QTest::newRow("Yes") << true;
  }
  void olderVersionQuestion() {
    QFETCH(bool, yes);
    WizardScratch scratch(BoardFile("Board1=KX58-0001\n",
                                    "[Board KX58-0001]\nVersion3=V01.02.00\nVersion5=V01.01.00\n"));
    CNextDlgWindow& window = MakeWindow();
    View cancelled(window);
    ModalScript script;
    script.Then("ready update dialog", ReadyWindow(&window), ClickButton("startButton"));
    if (yes) {
      script.Answer(Text(405), QMessageBox::Yes)
          .Answer(Text(405), QMessageBox::Yes)  // FPGA2 shares FPGA1's installed version
          .Answer(Text(107), QMessageBox::Ok);
    } else {
      script.Answer(Text(405), QMessageBox::No)
          .Then("cancelled update dialog", WidgetIs(&window), [&](QWidget*) {
            cancelled = View(window);
            ClickButton("cancelButton")(&window);
          });
    }
    script.Start();

    const int result = window.RunModal();
    QVERIFY2(script.Finished(), qPrintable(script.Problem()));
    QCOMPARE(script.boxes()[0].icon, QMessageBox::Question);
    QCOMPARE(script.boxes()[0].buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(script.boxes()[0].title, ExecutableCaption());
    if (yes) {
      QCOMPARE(result, int(QDialog::Accepted));
      QCOMPARE(scratch.BoardValue("Written KX58-0001", "Order"),
               std::string("FPGA1,FPGA2,Firm(Appl),Firm(Boot)"));
      return;
    }
    QCOMPARE(result, int(QDialog::Rejected));
    QCOMPARE(script.boxes().size(), size_t{1});
    QVERIFY2(cancelled.log.endsWith(Text(505) + Text(509)), qPrintable(cancelled.log));
    QCOMPARE(cancelled.status, Text(207));
    QVERIFY(!cancelled.startEnabled);
    QVERIFY(cancelled.cancelEnabled);
    QCOMPARE(window.logic().State(), kx::DialogState::kCancelled);
    QCOMPARE(scratch.BoardValue("Written KX58-0001", "Order"), std::string());
  }
};

KX_QTEST_MAIN(CNextDlgWindowTest)
#include "next_dlg_window_test.moc"
