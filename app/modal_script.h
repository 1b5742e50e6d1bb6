// Test helper for the wizard's Qt tests: plays the user's part while modal
// dialogs and message boxes run.
#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <deque>
#include <functional>
#include <vector>

namespace kx::app::testing {

// Polls QApplication::activeModalWidget() and, when the widget on top
// matches the next step, acts on it. The action runs from the event loop
// after the poll has returned, so an action that opens a nested loop (Start,
// Next, a button that opens a box) does not hold the poll up. Every message
// box that comes up is recorded, expected or not. A step that waits longer
// than the patience fails the script, which then closes whatever modal widget
// is on top so that the test ends instead of hanging.
class ModalScript : public QObject {
 public:
  using Match = std::function<bool(QWidget*)>;
  using Act = std::function<void(QWidget*)>;

  struct Box {
    QString title;
    QString text;
    QMessageBox::Icon icon;
    QMessageBox::StandardButtons buttons;
  };

  explicit ModalScript(int patienceMs = 30000);

  ModalScript& Then(QString what, Match match, Act act);
  // A message box with exactly `text`: `button` is clicked.
  ModalScript& Answer(const QString& text, QMessageBox::StandardButton button);
  // Starts polling; usually just before the modal run begins.
  void Start();

  bool Finished() const { return steps_.empty() && failure_.isEmpty(); }
  // What went wrong: the step that never came, or the steps left.
  QString Problem() const;
  const std::vector<Box>& boxes() const { return boxes_; }

 private:
  struct Step {
    QString what;
    Match match;
    Act act;
  };
  void Poll();

  std::deque<Step> steps_;
  std::vector<Box> boxes_;
  std::vector<QPointer<QWidget>> recorded_;
  QTimer poll_;
  int patienceMs_;
  int waitedMs_ = 0;
  QString failure_;
};

// Matchers and actions for the steps.
ModalScript::Match MessageBoxWith(const QString& text);
ModalScript::Match WidgetIs(const QWidget* widget);
template <class T>
ModalScript::Match WidgetOfType() {
  return [](QWidget* w) { return qobject_cast<T*>(w) != nullptr; };
}
ModalScript::Act PressEscape();
// Clicks the child push button of that object name.
ModalScript::Act ClickButton(const char* objectName);

// The test executable's base name: the caption of every message box.
QString ExecutableCaption();

}  // namespace kx::app::testing
