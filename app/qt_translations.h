// Qt's own texts (the Yes and No of a question box, ...) in the language of
// the string table, so that a Japanese box does not carry English buttons.
#pragma once

#include <QTranslator>
#include <memory>

#include "res/string_table.h"

namespace kx::app {

// Installs Qt's translation for `language` into the application while the
// returned object lives; null for English or when no translation is there.
std::unique_ptr<QTranslator> InstallQtTranslations(Language language);

}  // namespace kx::app
