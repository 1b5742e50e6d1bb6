#include "platform/local_date.h"

#include <gtest/gtest.h>

namespace kx::platform {
namespace {

TEST(ParseIsoDateTest, AcceptsCalendarDatesOnly) {
  auto d = ParseIsoDate("2024-02-29");
  ASSERT_TRUE(d);
  EXPECT_EQ(d->year, 2024);
  EXPECT_EQ(d->month, 2);
  EXPECT_EQ(d->day, 29);
  for (const char* bad : {"2023-02-29", "2024-13-01", "2024-00-10", "2024-1-01", "20240101",
                          "2024-01-32", "abcd-ef-gh", ""}) {
    EXPECT_FALSE(ParseIsoDate(bad)) << bad;
  }
}

TEST(LocalDateAtTest, FollowsTheTimeZone) {
  setenv("TZ", "UTC", 1);
  tzset();
  LocalDate d = LocalDateAt(1700000000);  // 2023-11-14 22:13:20 UTC
  EXPECT_EQ(d.year, 2023);
  EXPECT_EQ(d.month, 11);
  EXPECT_EQ(d.day, 14);
  setenv("TZ", "Asia/Tokyo", 1);
  tzset();
  EXPECT_EQ(LocalDateAt(1700000000).day, 15);
  unsetenv("TZ");
  tzset();
}

}  // namespace
}  // namespace kx::platform
