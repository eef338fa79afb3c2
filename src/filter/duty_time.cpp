#include "filter/duty_time.h"

namespace varnel {

bool DutyTimeCheck(const Clock& clock, std::int64_t mask) {
  return DutyHourOn(mask, clock.Now().hour);
}

bool DutyHourOn(std::int64_t mask, int hour) {
  bool result = false;
  std::int64_t remaining = mask;
  for (int b = 23; b >= 0; --b) {
    std::int64_t bit = std::int64_t{1} << b;
    if (bit <= remaining) {
      if (b == hour) result = true;
      remaining -= bit;
    }
  }
  return result;
}

std::string DutyTimeColumn(int weekday) {
  static const char* const kColumns[] = {"DutyTimeSun", "DutyTimeMon", "DutyTimeTue", "DutyTimeWed",
                                         "DutyTimeThu", "DutyTimeFri", "DutyTimeSat"};
  return kColumns[((weekday % 7) + 7) % 7];
}

}  // namespace varnel
