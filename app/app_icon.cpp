#include "app/app_icon.h"

#include "platform/executable_name.h"

namespace kx::app {

QIcon ApplicationIcon() { return QIcon(QStringLiteral(":/app_icon.png")); }

QString ApplicationDisplayName() {
  return QString::fromStdString(platform::ExecutableBaseName());
}

}  // namespace kx::app
