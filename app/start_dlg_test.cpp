// CStartDlg with the real update dialog behind Next (CUpdateApp's, on the
// simulated board), and the About box it opens.
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "app/about_dlg.h"
#include "app/modal_script.h"
#include "app/next_dlg_window.h"
#include "app/qt_test_main.h"
#include "app/start_dlg.h"
#include "app/update_app.h"
#include "app/wizard_scratch.h"
#include "res/string_table.h"

using kx::Language;
using kx::app::CAboutDlg;
using kx::app::CNextDlgWindow;
using kx::app::CStartDlg;
using kx::app::CUpdateApp;
using kx::app::testing::BoardFile;
using kx::app::testing::ClickButton;
using kx::app::testing::ModalScript;
using kx::app::testing::PressEscape;
using kx::app::testing::WidgetIs;
using kx::app::testing::WidgetOfType;
using kx::app::testing::WizardScratch;

namespace {

QString Text(int id, Language language) {
  return QString::fromStdString(kx::LoadString(id, language));
}

QString Label(const QWidget* w, const char* name) { return w->findChild<QLabel*>(name)->text(); }
QString Button(const QWidget* w, const char* name) {
  return w->findChild<QPushButton*>(name)->text();
}

// The update dialog on top; `ready`: with Start enabled.
ModalScript::Match UpdateDialog(bool ready) {
  return [ready](QWidget* w) {
    auto* window = qobject_cast<CNextDlgWindow*>(w);
    return window != nullptr &&
           (!ready || window->findChild<QPushButton*>("startButton")->isEnabled());
  };
}

enum class Ending { kCompleted, kNotNeeded, kFailed, kCancelled };

}  // namespace

class CStartDlgTest : public QObject {
  Q_OBJECT

 private slots:
  void languages_data() {
    QTest::addColumn<Language>("language");
    QTest::newRow("English") << Language::kEnglish;
    QTest::newRow("Japanese") << Language::kJapanese;
  }

  // The texts follow the language; the caption stays "KX-Update Step1".
  void textsAndCaption_data() { languages_data(); }
  void textsAndCaption() {
    QFETCH(Language, language);
    CStartDlg dialog(language, nullptr);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("KX-Update Step1"));
    QCOMPARE(Label(&dialog, "text1001"), Text(102, language));
    QCOMPARE(Label(&dialog, "text1004"), Text(103, language));
    QCOMPARE(Label(&dialog, "text1005"), Text(104, language));
    QCOMPARE(Label(&dialog, "text1006"), Text(105, language));
    QCOMPARE(Label(&dialog, "text1007"), Text(106, language));
    QCOMPARE(Button(&dialog, "nextButton"), Text(301, language));
    QCOMPARE(Button(&dialog, "cancelButton"), Text(302, language));
    QCOMPARE(Button(&dialog, "aboutButton"), Text(101, language));
  }

  // The About command opens the About box, in Japanese in every language;
  // Esc closes it and the start dialog stays.
  void aboutBoxStaysJapanese_data() { languages_data(); }
  void aboutBoxStaysJapanese() {
    QFETCH(Language, language);
    CStartDlg dialog(language, nullptr);
    QString caption, version;
    ModalScript script;
    script.Then("start dialog", WidgetIs(&dialog), ClickButton("aboutButton"))
        .Then("About box", WidgetOfType<CAboutDlg>(),
              [&](QWidget* w) {
                caption = w->windowTitle();
                version = Label(w, "version");
                PressEscape()(w);
              })
        .Then("start dialog again", WidgetIs(&dialog), ClickButton("cancelButton"));
    script.Start();
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    QVERIFY2(script.Finished(), qPrintable(script.Problem()));
    QCOMPARE(caption, QStringLiteral("バージョン情報 DERadori"));
    QCOMPARE(version, QStringLiteral("DERadori Version 1.0"));
  }

  // Cancel ends the start dialog: no update dialog, no call to the board
  // (it would have made its board file and recorded the board it created).
  void cancelTouchesNoBoard() {
    WizardScratch scratch;
    bool updateDialogRan = false;
    CStartDlg dialog(Language::kEnglish, [&] {
      updateDialogRan = true;
      CUpdateApp::RunUpdateDialog(Language::kEnglish);
    });
    ModalScript script;
    script.Then("start dialog", WidgetIs(&dialog), ClickButton("cancelButton"));
    script.Start();
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    QVERIFY2(script.Finished(), qPrintable(script.Problem()));
    QVERIFY(!updateDialogRan);
    QVERIFY(!scratch.BoardFileExists());
    QVERIFY(script.boxes().empty());
  }

  // Next hides the start dialog and runs the update dialog; whatever that
  // dialog's ending, the start dialog then ends with OK.
  void nextEndsWithOkAfterAnyEnding_data() {
    QTest::addColumn<Ending>("ending");
    QTest::addColumn<QString>("extra");
    QTest::newRow("completed") << Ending::kCompleted << QString();
    QTest::newRow("not needed") << Ending::kNotNeeded
                                << "[Board KX58-0001]\nVersion3=V01.02.00\nVersion5=V01.02.00\n";
    QTest::newRow("failed") << Ending::kFailed << "[Fault Firm(Appl)]\nRefuse=1\n";
    QTest::newRow("cancelled") << Ending::kCancelled << QString();
  }
  void nextEndsWithOkAfterAnyEnding() {
    QFETCH(Ending, ending);
    QFETCH(QString, extra);
    WizardScratch scratch(BoardFile("Board1=KX58-0001\n", extra.toStdString()));
    const Language en = Language::kEnglish;
    CStartDlg dialog(en, [] { CUpdateApp::RunUpdateDialog(Language::kEnglish); });
    bool startHidden = true;
    auto noteHidden = [&] { startHidden = startHidden && !dialog.isVisible(); };
    ModalScript script;
    script.Then("start dialog", WidgetIs(&dialog), ClickButton("nextButton"));
    switch (ending) {
      case Ending::kCompleted:
        script.Then("ready update dialog", UpdateDialog(true), ClickButton("startButton"))
            .Answer(Text(107, en), QMessageBox::Ok);
        break;
      case Ending::kNotNeeded:
        script.Answer(Text(410, en), QMessageBox::Ok);
        break;
      case Ending::kFailed:
        script.Then("ready update dialog", UpdateDialog(true), ClickButton("startButton"))
            .Answer(Text(406, en), QMessageBox::Ok)
            .Then("failed update dialog", UpdateDialog(false), ClickButton("cancelButton"));
        break;
      case Ending::kCancelled:
        script.Then("ready update dialog", UpdateDialog(true), [&](QWidget* w) {
          noteHidden();
          ClickButton("cancelButton")(w);
        });
        break;
    }
    QTimer watch;
    connect(&watch, &QTimer::timeout, &dialog, [&] {
      for (QWidget* w : QApplication::topLevelWidgets()) {
        if (qobject_cast<CNextDlgWindow*>(w) && w->isVisible()) noteHidden();
      }
    });
    watch.start(10);
    script.Start();

    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QVERIFY2(script.Finished(), qPrintable(script.Problem()));
    QVERIFY(startHidden);
    QCOMPARE(scratch.BoardValue("Record", "CreatedBoard"), std::string("KX58-0001"));
    const std::string written = scratch.BoardValue("Written KX58-0001", "Order");
    QCOMPARE(written, std::string(ending == Ending::kCompleted ? "FPGA1,FPGA2,Firm(Appl),Firm(Boot)"
                                  : ending == Ending::kFailed  ? "FPGA1,FPGA2"
                                                               : ""));
  }
};

KX_QTEST_MAIN(CStartDlgTest)
#include "start_dlg_test.moc"
