// The computer's local date.
#pragma once

#include <ctime>
#include <optional>
#include <string>

namespace kx::platform {

struct LocalDate {
  int year;   // e.g. 2026
  int month;  // 1 to 12
  int day;    // 1 to 31
};

// Today in the local time zone.
LocalDate TodayLocal();

// The local date at a moment given as seconds since the epoch.
LocalDate LocalDateAt(std::time_t when);

// Parses "YYYY-MM-DD" (a real calendar date); nullopt for anything else.
std::optional<LocalDate> ParseIsoDate(const std::string& text);

}  // namespace kx::platform
