// CSelectDlg on its own (order, preselection, OK and Esc) and as the update
// dialog opens it for a board file with several boards.
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <memory>

#include "app/modal_script.h"
#include "app/next_dlg_window.h"
#include "app/qt_test_main.h"
#include "app/select_dlg.h"
#include "app/wizard_scratch.h"
#include "camera/driver_library.h"
#include "res/string_table.h"

using kx::app::CNextDlgWindow;
using kx::app::CSelectDlg;
using kx::app::testing::BoardFile;
using kx::app::testing::ClickButton;
using kx::app::testing::ExecutableCaption;
using kx::app::testing::ModalScript;
using kx::app::testing::PressEscape;
using kx::app::testing::WidgetIs;
using kx::app::testing::WidgetOfType;
using kx::app::testing::WizardScratch;

namespace {

QStringList Entries(const QWidget* dialog) {
  const auto* combo = dialog->findChild<QComboBox*>("board1013");
  QStringList entries;
  for (int i = 0; i < combo->count(); ++i) entries << combo->itemText(i);
  return entries;
}

QString Text(int id, kx::Language language = kx::Language::kEnglish) {
  return QString::fromStdString(kx::LoadString(id, language));
}

}  // namespace

Q_DECLARE_METATYPE(std::vector<std::string>)

class CSelectDlgTest : public QObject {
  Q_OBJECT

 private slots:
  // The list is sorted whatever the order given, the first entry is
  // preselected, and the list is disabled with fewer than two ids; OK
  // without touching it chooses the first.
  void listAndPreselection_data() {
    QTest::addColumn<std::vector<std::string>>("ids");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("B, A") << std::vector<std::string>{"KX58-0002", "KX58-0001"}
                          << QStringList{"KX58-0001", "KX58-0002"} << true;
    QTest::newRow("three, mixed") << std::vector<std::string>{"KX58-0003", "KX58-0001", "KX58-0002"}
                                  << QStringList{"KX58-0001", "KX58-0002", "KX58-0003"} << true;
    QTest::newRow("one") << std::vector<std::string>{"KX58-0007"} << QStringList{"KX58-0007"}
                         << false;
  }
  void listAndPreselection() {
    QFETCH(std::vector<std::string>, ids);
    QFETCH(QStringList, shown);
    QFETCH(bool, enabled);
    CSelectDlg dialog(ids, kx::Language::kEnglish);
    const auto* combo = dialog.findChild<QComboBox*>("board1013");
    QCOMPARE(Entries(&dialog), shown);
    QCOMPARE(combo->currentIndex(), 0);
    QCOMPARE(combo->isEnabled(), enabled);
    QVERIFY(dialog.GetSelectedBoard().empty());

    ModalScript script;
    script.Then("board selection", WidgetIs(&dialog), ClickButton("okButton"));
    script.Start();
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QVERIFY2(script.Finished(), qPrintable(script.Problem()));
    QCOMPARE(QString::fromStdString(dialog.GetSelectedBoard()), shown.front());
  }

  void captionAndPrompt_data() {
    QTest::addColumn<kx::Language>("language");
    QTest::newRow("English") << kx::Language::kEnglish;
    QTest::newRow("Japanese") << kx::Language::kJapanese;
  }
  void captionAndPrompt() {
    QFETCH(kx::Language, language);
    CSelectDlg dialog({"KX58-0001", "KX58-0002"}, language);
    QCOMPARE(dialog.windowTitle(), Text(601, language));
    QCOMPARE(dialog.findChild<QLabel*>("text1012")->text(), Text(206, language));
  }

  void escapeCancels() {
    CSelectDlg dialog({"KX58-0002", "KX58-0001"}, kx::Language::kEnglish);
    ModalScript script;
    script.Then("board selection", WidgetIs(&dialog), PressEscape());
    script.Start();
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    QVERIFY2(script.Finished(), qPrintable(script.Problem()));
    QVERIFY(dialog.GetSelectedBoard().empty());
  }

  // The update dialog on a board file with boards of two models: the list
  // holds the KX58 ones, sorted; the chosen one is the board created.
  void updateDialogOpensTheChosenBoard() {
    WizardScratch scratch(
        BoardFile("Board1=KX58-0003\nBoard2=ZX10-0001\nBoard3=KX58-0001\nBoard4=KX58-0002\n"));
    std::string error;
    auto driver = kx::DriverLibrary::Open(kx::DriverLibraryFromEnvironment(), &error);
    QVERIFY2(driver, error.c_str());
    kx::NextDlgOptions options;
    options.language = kx::Language::kEnglish;
    auto window = std::make_unique<CNextDlgWindow>(*driver, options);
    QStringList listed;
    ModalScript script;
    script
        .Then("board selection", WidgetOfType<CSelectDlg>(),
              [&](QWidget* w) {
                listed = Entries(w);
                w->findChild<QComboBox*>("board1013")->setCurrentIndex(1);
                ClickButton("okButton")(w);
              })
        .Then(
            "ready update dialog",
            [&](QWidget* w) {
              return w == window.get() &&
                     window->findChild<QPushButton*>("startButton")->isEnabled();
            },
            PressEscape());
    script.Start();

    QCOMPARE(window->RunModal(), int(QDialog::Rejected));
    QVERIFY2(script.Finished(), qPrintable(script.Problem()));
    QCOMPARE(listed, (QStringList{"KX58-0001", "KX58-0002", "KX58-0003"}));
    QCOMPARE(scratch.BoardValue("Record", "CreatedBoard"), std::string("KX58-0002"));
    QVERIFY(script.boxes().empty());
    window.reset();
  }

  // Esc on the selection: the 01 box (critical), no camera is created, and
  // Cancel is the way out.
  void escapeOnSelectionGivesError01() {
    WizardScratch scratch(BoardFile("Board1=KX58-0002\nBoard2=KX58-0001\n"));
    std::string error;
    auto driver = kx::DriverLibrary::Open(kx::DriverLibraryFromEnvironment(), &error);
    QVERIFY2(driver, error.c_str());
    kx::NextDlgOptions options;
    options.language = kx::Language::kJapanese;
    auto window = std::make_unique<CNextDlgWindow>(*driver, options);
    ModalScript script;
    script.Then("board selection", WidgetOfType<CSelectDlg>(), PressEscape())
        .Answer(Text(401, kx::Language::kJapanese), QMessageBox::Ok)
        .Then("stopped update dialog", WidgetIs(window.get()), ClickButton("cancelButton"));
    script.Start();

    QCOMPARE(window->RunModal(), int(QDialog::Rejected));
    QVERIFY2(script.Finished(), qPrintable(script.Problem()));
    QCOMPARE(script.boxes().size(), size_t{1});
    QCOMPARE(script.boxes()[0].icon, QMessageBox::Critical);
    QCOMPARE(script.boxes()[0].title, ExecutableCaption());
    QCOMPARE(window->logic().ErrorCode(), 1);
    QCOMPARE(scratch.BoardValue("Record", "CreatedBoard"), std::string());
    window.reset();
  }
};

KX_QTEST_MAIN(CSelectDlgTest)
#include "select_dlg_test.moc"
