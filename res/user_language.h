// Which of the two string tables the user reads.
#pragma once

#include <optional>
#include <string_view>

#include "res/string_table.h"

namespace kx {

// The user-interface language from the environment, in the POSIX order of
// precedence: the first of LANGUAGE (its first non-empty colon-separated
// entry), LC_ALL, LC_MESSAGES and LANG that is set and not empty decides.
// Japanese when that value begins with "ja" (ja, ja_JP, ja_JP.UTF-8, ja-JP,
// japanese), English for anything else, for "C" and "POSIX", and when none of
// the variables is set.
Language UserInterfaceLanguage();

// The argument of a "--lang" option: "en" or "ja"; nullopt for anything else.
std::optional<Language> ParseLanguage(std::string_view text);

}  // namespace kx
