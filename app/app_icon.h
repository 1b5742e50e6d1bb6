// The application icon, from the resources.
#pragma once

#include <QIcon>
#include <QString>

namespace kx::app {

QIcon ApplicationIcon();

// Message boxes carry the executable's base name as their caption.
QString ApplicationDisplayName();

}  // namespace kx::app
