#include "res/user_language.h"

#include <cstddef>
#include <cstdlib>
#include <string_view>

namespace kx {
namespace {

// The value of `name`, or an empty view when it is unset.
std::string_view Environment(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string_view() : std::string_view(value);
}

// LANGUAGE is a priority list ("ja:en"); only its first real entry counts,
// as gettext skips empty entries too.
std::string_view FirstListEntry(std::string_view list) {
  while (!list.empty()) {
    const std::size_t colon = list.find(':');
    const std::string_view entry = list.substr(0, colon);
    if (!entry.empty()) {
      return entry;
    }
    if (colon == std::string_view::npos) {
      break;
    }
    list.remove_prefix(colon + 1);
  }
  return {};
}

// A prefix test also takes the alias "japanese" of the C library's locale list.
Language LanguageOfLocale(std::string_view locale) {
  return locale.starts_with("ja") ? Language::kJapanese : Language::kEnglish;
}

}  // namespace

Language UserInterfaceLanguage() {
  std::string_view chosen = FirstListEntry(Environment("LANGUAGE"));
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    if (!chosen.empty()) {
      break;
    }
    chosen = Environment(name);
  }
  return LanguageOfLocale(chosen);
}

std::optional<Language> ParseLanguage(std::string_view text) {
  if (text == "en") {
    return Language::kEnglish;
  }
  if (text == "ja") {
    return Language::kJapanese;
  }
  return std::nullopt;
}

}  // namespace kx
