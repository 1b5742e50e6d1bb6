// CNextDlgWindow on the simulated board, loaded through the real driver
// loader: the window's endings, its message boxes and its buttons in each
// state, and that the event loop keeps running while the run waits.
#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>

#include "app/modal_script.h"
#include "app/next_dlg_window.h"
#include "app/qt_test_main.h"
#include "app/wizard_scratch.h"
#include "camera/driver_library.h"
#include "res/string_table.h"
#include "tests/wait_until.h"

using kx::app::CNextDlgWindow;
using kx::app::testing::BoardFile;
using kx::app::testing::ClickButton;
using kx::app::testing::ExecutableCaption;
using kx::app::testing::ModalScript;
using kx::app::testing::PressEscape;
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

// The window on top with its logic in `state`. The logic, not a widget, is
// looked at: the dialog paints (and so lets the script's poll run) between
// changing its widgets and taking the state they belong to, so Start can be
// enabled a moment before it is ready, and the window on top again a moment
// before Cancel is.
ModalScript::Match WindowIn(CNextDlgWindow* w, kx::DialogState state) {
  return [w, state](QWidget* top) { return top == w && w->logic().State() == state; };
}

// The window on top and ready for Start.
ModalScript::Match ReadyWindow(CNextDlgWindow* w) { return WindowIn(w, kx::DialogState::kReady); }

// The simulated board with its events held back: each reaches the dialog
// only when the test lets it through, on the thread that does.
class GatedDriver : public kx::CameraDriver {
 public:
  explicit GatedDriver(kx::CameraDriver& board) : board_(board) {}

  // Hands the earliest held event to the dialog's callback; false when none
  // is held.
  bool Release() {
    Event event;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (held_.empty()) return false;
      event = held_.front();
      held_.pop_front();
    }
    callback_(event.reserved1, event.type, event.value, event.reserved2, event.status, context_);
    ++released_;
    return true;
  }
  int released() const { return released_; }
  bool holding() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return !held_.empty();
  }

  std::int32_t CAM_EnumCameraEx(std::int32_t mode, char** ids, std::int32_t slotCount,
                                std::int32_t slotSize) override {
    return board_.CAM_EnumCameraEx(mode, ids, slotCount, slotSize);
  }
  CAM_HANDLE CAM_CreateCameraEx(const char* boardId, std::int32_t mode) override {
    return board_.CAM_CreateCameraEx(boardId, mode);
  }
  std::int32_t CAM_GetLastErrorEx(CAM_HANDLE camera, std::int32_t mode,
                                  std::int32_t* code) override {
    return board_.CAM_GetLastErrorEx(camera, mode, code);
  }
  std::int32_t CAM_RegisterCallbackEx(CAM_HANDLE camera, CamEventCallback callback,
                                      void* context) override {
    callback_ = callback;
    context_ = context;
    return board_.CAM_RegisterCallbackEx(camera, &GatedDriver::Hold, this);
  }
  std::int32_t CAM_SetTimeoutEx(CAM_HANDLE camera, std::int32_t mode,
                                std::int32_t timeout) override {
    return board_.CAM_SetTimeoutEx(camera, mode, timeout);
  }
  std::int32_t CAM_GetVersionEx(CAM_HANDLE camera, std::int32_t mode, std::int32_t kind,
                                char* buffer) override {
    return board_.CAM_GetVersionEx(camera, mode, kind, buffer);
  }
  std::int32_t CAM_EST_SetBehaviorModeEx(CAM_HANDLE camera, std::int32_t one, std::int32_t mode,
                                         std::int32_t zero) override {
    return board_.CAM_EST_SetBehaviorModeEx(camera, one, mode, zero);
  }
  std::int32_t CAM_EST_UpdateEx(CAM_HANDLE camera, std::int32_t zero,
                                const CamComponentImage* image) override {
    return board_.CAM_EST_UpdateEx(camera, zero, image);
  }
  std::int32_t CAM_DeleteCameraEx(CAM_HANDLE camera, std::int32_t one) override {
    return board_.CAM_DeleteCameraEx(camera, one);
  }

 private:
  struct Event {
    std::int32_t reserved1, type, value, reserved2, status;
  };
  // On the board's worker thread.
  static void Hold(std::int32_t reserved1, std::int32_t type, std::int32_t value,
                   std::int32_t reserved2, std::int32_t status, void* self) {
    auto* gate = static_cast<GatedDriver*>(self);
    std::lock_guard<std::mutex> lock(gate->mutex_);
    gate->held_.push_back({reserved1, type, value, reserved2, status});
  }

  kx::CameraDriver& board_;
  CamEventCallback callback_ = nullptr;
  void* context_ = nullptr;
  mutable std::mutex mutex_;
  std::deque<Event> held_;
  int released_ = 0;
};

// The update dialog's window that tells whether the run is inside a wait
// for the driver's event.
class WatchedWindow : public CNextDlgWindow {
 public:
  using CNextDlgWindow::CNextDlgWindow;
  bool waiting() const { return waiting_; }
  kx::WaitOutcome WaitForSignal(kx::platform::AutoResetEvent& event,
                                std::optional<std::chrono::milliseconds> timeout) override {
    waiting_ = true;
    const kx::WaitOutcome outcome = CNextDlgWindow::WaitForSignal(event, timeout);
    waiting_ = false;
    return outcome;
  }

 private:
  bool waiting_ = false;
};

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

  // While the run waits for the board's events the event loop runs: the
  // board's every event is held back until a timer has fired inside the
  // run's wait for it, so a wait that stopped the loop would never get one.
  // The log shows the progress, and close requests (Esc, the close box,
  // reject) are ignored.
  void runKeepsEventLoopAndIgnoresCloseRequests() {
    // Four events per component: 14, 15, 50 %, 100 %.
    WizardScratch scratch(BoardFile("Board1=KX58-0001\n", "", 1, 50));
    std::string error;
    driver_ = kx::DriverLibrary::Open(kx::DriverLibraryFromEnvironment(), &error);
    QVERIFY2(driver_, error.c_str());
    GatedDriver gate(*driver_);
    kx::NextDlgOptions options;
    options.language = kx::Language::kEnglish;
    // Only a wait that stopped the loop would ever reach this limit.
    options.eventTimeout = kx::testing::kHangGuard;
    WatchedWindow window(gate, options);

    bool sawProgress = false, closeIgnored = true, buttonsDisabled = true, statusShown = true;
    // The bar under the log shows the percentage the log's "N[%]" gives, and
    // the line under it the board that was opened.
    bool barFollowsLog = true, boardShown = true;
    QTimer tick;
    tick.setInterval(10);
    connect(&tick, &QTimer::timeout, &window, [&] {
      if (!window.waiting() || window.logic().State() != kx::DialogState::kRunning) return;
      const View now(window);
      sawProgress = sawProgress || now.log.contains(QRegularExpression(R"(\.\.\.\.\.\d+\[%\]$)"));
      buttonsDisabled = buttonsDisabled && !now.startEnabled && !now.cancelEnabled;
      statusShown = statusShown && now.status == Text(205);
      const auto percent = QRegularExpression(R"((\d+)\[%\]$)").match(now.log);
      const auto* bar = window.findChild<QProgressBar*>("progress");
      if (percent.hasMatch()) {
        barFollowsLog = barFollowsLog && bar->isVisible() && bar->value() == percent.captured(1).toInt();
      }
      const auto* board = window.findChild<QLabel*>("board");
      boardShown = boardShown && board->isVisible() && board->text() == "Board: KX58-0001";
      window.close();
      window.reject();
      QTest::keyClick(&window, Qt::Key_Escape);
      closeIgnored = closeIgnored && window.isVisible();
      gate.Release();
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
    QCOMPARE(window.logic().State(), kx::DialogState::kCompleted);
    // Every event came through a timer inside a wait, none is left over.
    QCOMPARE(gate.released(), 16);
    QVERIFY(!gate.holding());
    QVERIFY(sawProgress);
    QVERIFY(barFollowsLog);
    QVERIFY(boardShown);
    QVERIFY(buttonsDisabled);
    QVERIFY(statusShown);
    QVERIFY(closeIgnored);
    QCOMPARE(scratch.BoardValue("Written KX58-0001", "Order"),
             std::string("FPGA1,FPGA2,Firm(Appl),Firm(Boot)"));
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
        .Then("failed update dialog", WindowIn(&window, kx::DialogState::kFailed), [&](QWidget*) {
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
          .Then("cancelled update dialog", WindowIn(&window, kx::DialogState::kCancelled),
                [&](QWidget*) {
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
