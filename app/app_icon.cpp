#include "app/app_icon.h"

#include "platform/executable_name.h"

namespace kx::app {

QIcon ApplicationIcon() { return QIcon(QStringLiteral(":/app_icon.png")); }

namespace {
QString& DisplayNameOverride() {
  static QString name;
  return name;
}
}  // namespace

QString ApplicationDisplayName() {
  if (!DisplayNameOverride().isEmpty()) return DisplayNameOverride();
  return QString::fromStdString(platform::ExecutableBaseName());
}

void OverrideApplicationDisplayName(const QString& name) { DisplayNameOverride() = name; }

}  // namespace kx::app
