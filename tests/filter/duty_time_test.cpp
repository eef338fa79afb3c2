#include "filter/duty_time.h"

#include <gtest/gtest.h>

namespace varnel {
namespace {

bool OnDutyAt(std::int64_t mask, int hour) {
  FakeClock clock;
  clock.Set("2026-06-26 " + std::string(hour < 10 ? "0" : "") + std::to_string(hour) + ":59:59");
  return DutyTimeCheck(clock, mask);
}

TEST(DutyTime, MaskCases) {
  for (int h = 0; h < 24; ++h) {
    EXPECT_FALSE(OnDutyAt(0, h)) << h;
    EXPECT_TRUE(OnDutyAt(16777215, h)) << h;
    EXPECT_EQ(OnDutyAt(1, h), h == 0) << h;
    EXPECT_EQ(OnDutyAt(8388608, h), h == 23) << h;
    EXPECT_FALSE(OnDutyAt(-1, h)) << h;
    EXPECT_TRUE(OnDutyAt(16777216, h)) << h;   // beyond 24 bits: every hour
    EXPECT_TRUE(OnDutyAt(2147483647, h)) << h;
    EXPECT_EQ(OnDutyAt(0x00FF00, h), h >= 8 && h < 16) << h;  // office hours
  }
}

TEST(DutyTime, ColumnOfTheWeekday) {
  FakeClock clock;
  clock.Set("2026-12-06 12:00:00");  // a Sunday
  EXPECT_EQ(DutyTimeColumn(clock.Now().weekday), "DutyTimeSun");
  clock.Set("2026-12-12 12:00:00");
  EXPECT_EQ(DutyTimeColumn(clock.Now().weekday), "DutyTimeSat");
  EXPECT_EQ(DutyTimeColumn(1), "DutyTimeMon");
}

}  // namespace
}  // namespace varnel
