#include "platform/local_date.h"

#include <cstdio>

namespace kx::platform {

LocalDate LocalDateAt(std::time_t when) {
  std::tm parts{};
  localtime_r(&when, &parts);
  return LocalDate{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday};
}

LocalDate TodayLocal() { return LocalDateAt(std::time(nullptr)); }

std::optional<LocalDate> ParseIsoDate(const std::string& text) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
  for (std::size_t i : {0u, 1u, 2u, 3u, 5u, 6u, 8u, 9u}) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
  }
  LocalDate date{std::stoi(text.substr(0, 4)), std::stoi(text.substr(5, 2)),
                 std::stoi(text.substr(8, 2))};
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (date.month < 1 || date.month > 12) return std::nullopt;
  bool leap = (date.year % 4 == 0 && date.year % 100 != 0) || date.year % 400 == 0;
  int days = kDays[date.month - 1] + (date.month == 2 && leap ? 1 : 0);
  if (date.day < 1 || date.day > days) return std::nullopt;
  return date;
}

}  // namespace kx::platform
