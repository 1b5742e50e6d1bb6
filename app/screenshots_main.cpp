// DERadori-screenshots: renders every dialog and message box of the wizard,
// in English and in Japanese, to PNG files in the folder given on the
// command line. Meant for the offscreen platform (QT_QPA_PLATFORM=offscreen).
//
// The dialogs are the wizard's own classes with the string table's texts;
// the update dialog's states are set through the same window calls its
// logic makes, on a driver that finds nothing, and the message boxes come
// from the window's own ShowMessage.
#include <QApplication>
#include <QDir>
#include <QFont>
#include <QFontDatabase>
#include <QPainter>
#include <QPixmap>
#include <QTemporaryFile>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "app/about_dlg.h"
#include "app/app_icon.h"
#include "app/next_dlg_window.h"
#include "app/qt_translations.h"
#include "app/select_dlg.h"
#include "app/start_dlg.h"
#include "camera/next_dlg.h"
#include "camera/text_fields.h"
#include "camera/unavailable_driver.h"
#include "res/string_table.h"

namespace {

using kx::Language;

// A Japanese font family that the screenshots use when it is installed;
// without one the Japanese texts would come out as empty boxes.
constexpr const char* kJapaneseFamily = "Noto Sans CJK JP";

// Height of the caption strip drawn above each picture: the offscreen
// platform draws no window frame, and the caption is part of what a dialog
// shows.
constexpr int kCaptionHeight = 24;

class Shooter {
 public:
  explicit Shooter(QString folder) : folder_(std::move(folder)) {}

  // The widget as it is now, below a strip with its caption.
  void Save(QWidget& widget, const QString& name) {
    QCoreApplication::processEvents();
    const QPixmap content = widget.grab();
    QPixmap picture(content.width(), content.height() + kCaptionHeight);
    picture.fill(QColor(0x3b, 0x5b, 0x8c));
    QPainter painter(&picture);
    painter.setPen(Qt::white);
    painter.drawText(QRect(8, 0, content.width() - 16, kCaptionHeight),
                     Qt::AlignVCenter | Qt::AlignLeft, widget.windowTitle());
    painter.drawPixmap(0, kCaptionHeight, content);
    painter.end();
    const QString path = folder_ + "/" + name + ".png";
    if (!picture.save(path)) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
      ok_ = false;
      return;
    }
    // The picture's path and the caption it shows, for the script to check.
    std::printf("%s\t%s\n", qPrintable(path), qPrintable(widget.windowTitle()));
  }

  // A widget that is shown modelessly for the picture.
  void SaveShown(QWidget& widget, const QString& name) {
    widget.show();
    Save(widget, name);
    widget.hide();
  }

  // Runs `open`, which shows a modal widget and returns when it has closed;
  // the widget is saved once it is up, then closed with Esc.
  void SaveModal(const std::function<void()>& open, const QString& name) {
    QTimer poll;
    poll.setInterval(10);
    bool saved = false;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      QWidget* top = QApplication::activeModalWidget();
      if (saved || top == nullptr || !top->isVisible()) return;
      saved = true;
      poll.stop();
      Save(*top, name);
      // Esc answers a Yes/No box with No and an OK box with OK.
      QTimer::singleShot(0, top, [top] {
        if (auto* dialog = qobject_cast<QDialog*>(top)) dialog->reject();
      });
    });
    poll.start();
    open();
    if (!saved) {
      std::fprintf(stderr, "%s: no modal widget came up\n", qPrintable(name));
      ok_ = false;
    }
  }

  bool ok() const { return ok_; }

 private:
  QString folder_;
  bool ok_ = true;
};

std::string Texts(const std::vector<int>& ids, Language language) {
  std::string text;
  for (int id : ids) text += kx::LoadString(id, language);
  return text;
}

struct Message {
  int id;
  kx::MessageIcon icon;
  kx::MessageButtons buttons;
};

const Message kMessages[] = {
    {401, kx::MessageIcon::kError, kx::MessageButtons::kOk},
    {403, kx::MessageIcon::kError, kx::MessageButtons::kOk},
    {404, kx::MessageIcon::kError, kx::MessageButtons::kOk},
    {405, kx::MessageIcon::kQuestion, kx::MessageButtons::kYesNo},
    {406, kx::MessageIcon::kError, kx::MessageButtons::kOk},
    {408, kx::MessageIcon::kError, kx::MessageButtons::kOk},
    {410, kx::MessageIcon::kWarning, kx::MessageButtons::kOk},
    {107, kx::MessageIcon::kInformation, kx::MessageButtons::kOk},
    {411, kx::MessageIcon::kError, kx::MessageButtons::kOk},
};

// The driver error shown in the failed state's log: a write error that the
// board reported in a progress event.
constexpr std::int32_t kShownWriteError = 144;

void ShootLanguage(Shooter& shooter, Language language, const QString& suffix) {
  const auto qtTexts = kx::app::InstallQtTranslations(language);
  const auto text = [language](int id) { return kx::LoadString(id, language); };

  kx::app::CStartDlg start(language, nullptr);
  shooter.SaveShown(start, "start-" + suffix);

  kx::app::CAboutDlg about;
  shooter.SaveShown(about, "about-" + suffix);

  kx::app::CSelectDlg select({"KX58-0003", "KX58-0001", "KX58-0002"}, language);
  shooter.SaveShown(select, "select-" + suffix);

  kx::UnavailableDriver driver;
  kx::NextDlgOptions options;
  options.language = language;
  options.lockBoard = false;
  kx::app::CNextDlgWindow window(driver, options);
  const std::string initialised = Texts({502, 501, 503, 501, 504, 501}, language);

  // Ready: the initialisation's log, status 204, Start enabled.
  window.Show();
  window.ShowBoard("KX58-0001");
  window.SetButtonTexts(text(303), text(302));
  window.SetLogText(initialised);
  window.SetStatusText(text(204));
  window.EnableStart(true);
  window.EnableCancel(true);
  shooter.Save(window, "next-ready-" + suffix);

  // Running: the first component's progress, both buttons disabled.
  window.EnableStart(false);
  window.EnableCancel(false);
  window.SetStatusText(text(205));
  window.ShowProgress(initialised + text(505) + "40[%]", 40);
  shooter.Save(window, "next-running-" + suffix);

  // Failed: the 06 ending's log label and status; Cancel is the way out.
  window.SetLogText(initialised + text(505) + text(508) + "\r\n(" +
                    kx::CNextDlg::DriverErrorLabel(kShownWriteError) + ")");
  window.SetStatusText(text(207));
  window.EnableCancel(true);
  shooter.Save(window, "next-failed-" + suffix);

  // The message boxes, over the update dialog as in the wizard.
  for (const Message& m : kMessages) {
    std::string shown = text(m.id);
    if (m.id == 411) shown = kx::FillTextFields(shown, {{"board", "KX58-0002"}, {"pid", "4242"}});
    shooter.SaveModal([&] { window.ShowMessage(shown, m.icon, m.buttons); },
                      QStringLiteral("message-%1-%2").arg(m.id).arg(suffix));
  }
  window.hide();
}

}  // namespace

// The offscreen platform's default screen is 800 x 600, on which message
// boxes wrap their texts much narrower than on a desktop; the pictures are
// taken on a desktop-sized screen instead.
constexpr const char* kScreenConfig =
    R"({"screens": [{"name": "desktop", "x": 0, "y": 0, "width": 1920, "height": 1080,)"
    R"( "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})";

// The offscreen platform says on every window that it cannot pass size
// hints on; that says nothing about the pictures.
void QuietMessages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.contains(QStringLiteral("does not support propagateSizeHints"))) return;
  std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

int main(int argc, char** argv) {
  qInstallMessageHandler(QuietMessages);
  QTemporaryFile screenConfig(QDir::tempPath() + "/kx-screenshots-XXXXXX.json");
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (platform != nullptr && std::string(platform) == "offscreen" && screenConfig.open()) {
    screenConfig.write(kScreenConfig);
    screenConfig.flush();
    const std::string withScreen = "offscreen:configfile=" + screenConfig.fileName().toStdString();
    ::setenv("QT_QPA_PLATFORM", withScreen.c_str(), 1);
  }
  QApplication application(argc, argv);
  // The pictures show what a user of the wizard sees: its boxes are captioned
  // with the wizard's own name, not this program's.
  kx::app::OverrideApplicationDisplayName(QStringLiteral("DERadori"));
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 64;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]);
  if (!QDir().mkpath(folder)) {
    std::fprintf(stderr, "cannot make %s\n", argv[1]);
    return 1;
  }
  if (QFontDatabase::families().contains(kJapaneseFamily)) {
    QFont font = QApplication::font();
    font.setFamily(kJapaneseFamily);
    QApplication::setFont(font);
  } else {
    std::fprintf(stderr, "font \"%s\" not installed: Japanese texts may not show\n",
                 kJapaneseFamily);
  }

  Shooter shooter(folder);
  ShootLanguage(shooter, Language::kEnglish, "en");
  ShootLanguage(shooter, Language::kJapanese, "ja");
  return shooter.ok() ? 0 : 1;
}
