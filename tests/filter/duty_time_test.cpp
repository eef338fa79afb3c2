#include "filter/duty_time.h"

#include <gtest/gtest.h>

namespace varnel {
namespace {

TEST(DutyTime, MaskBitsAreHoursAndOutOfRangeMasksAreAllOrNothing) {
  FakeClock clock;
  for (int h = 0; h < 24; ++h) {
    clock.Set("2026-06-26 " + std::string(h < 10 ? "0" : "") + std::to_string(h) + ":59:59");
    EXPECT_EQ(DutyTimeCheck(clock, 0x00FF01), h == 0 || (h >= 8 && h < 16)) << h;
    EXPECT_EQ(DutyTimeCheck(clock, 8388608), h == 23) << h;
    EXPECT_FALSE(DutyTimeCheck(clock, -1)) << h;
    EXPECT_TRUE(DutyTimeCheck(clock, 16777216)) << h;
  }
}

}  // namespace
}  // namespace varnel
