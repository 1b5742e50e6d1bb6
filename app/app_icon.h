// The application icon, from the resources.
#pragma once

#include <QIcon>
#include <QString>

namespace kx::app {

QIcon ApplicationIcon();

// Message boxes carry the executable's base name as their caption.
QString ApplicationDisplayName();

// From now on ApplicationDisplayName() answers `name`: for a program that
// shows the wizard's windows under another executable's name (the screenshot
// maker shows them as "DERadori" does).
void OverrideApplicationDisplayName(const QString& name);

}  // namespace kx::app
