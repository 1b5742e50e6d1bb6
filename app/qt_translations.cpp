#include "app/qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>

namespace kx::app {

std::unique_ptr<QTranslator> InstallQtTranslations(Language language) {
  if (language != Language::kJapanese) return nullptr;
  auto translator = std::make_unique<QTranslator>();
  if (!translator->load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    return nullptr;  // the buttons then stay in English
  }
  QCoreApplication::installTranslator(translator.get());
  return translator;
}

}  // namespace kx::app
