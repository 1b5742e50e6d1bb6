// The user texts of the updater, looked up by id, in English and in Japanese.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace kx {

enum class Language { kEnglish, kJapanese };

// One id with its two texts. Both texts are UTF-8, zero-terminated, and live
// for the whole run. They are stored exactly as the dialogs use them: line
// breaks are real LF (or CR LF) characters, and the odd spacing and spelling
// of the wording ("Failuer.", a trailing space) are part of the text.
struct StringEntry {
  int id;
  const char* english;
  const char* japanese;

  std::string_view Text(Language language) const {
    return language == Language::kJapanese ? japanese : english;
  }
};

// The text of `id` in `language`, or the empty string when the table has no
// entry for `id`. Callers append what they get without checking, so a missing
// entry simply shows nothing.
std::string LoadString(int id, Language language);

// The entry of `id`, or nullptr when the table has none.
const StringEntry* FindString(int id);

// Every entry, in ascending id order (for tests and listings).
std::span<const StringEntry> AllStrings();

}  // namespace kx
