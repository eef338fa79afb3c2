#include "platform/clock.h"

#include <chrono>
#include <cstdio>

namespace varnel {

std::string LocalTime::Text() const {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, hour, minute,
                second);
  return buf;
}

std::string LocalTime::DateText() const { return Text().substr(0, 10); }

std::string LocalTime::HourMinute() const { return Text().substr(11, 5); }

LocalTime ToLocalTime(std::time_t t) {
  std::tm tm{};
  localtime_r(&t, &tm);
  return LocalTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
                   tm.tm_min,         tm.tm_sec,     tm.tm_wday};
}

LocalTime SystemClock::Now() const { return ToLocalTime(std::time(nullptr)); }

std::uint64_t SystemClock::TickMs() const {
  using namespace std::chrono;
  return static_cast<std::uint64_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

bool ParseTimeText(const std::string& text, LocalTime& out) {
  LocalTime t;
  int n = 0;
  if (text.size() == 10) {
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d%n", &t.year, &t.month, &t.day, &n) != 3 || n != 10)
      return false;
  } else if (std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%n", &t.year, &t.month, &t.day,
                         &t.hour, &t.minute, &t.second, &n) != 6 ||
             n != 19) {
    return false;
  }
  if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 || t.hour > 23 || t.minute > 59 ||
      t.second > 59)
    return false;
  // Day of week from the civil date (Sakamoto's method), 0 = Sunday.
  static const int offs[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  int y = t.year - (t.month < 3 ? 1 : 0);
  t.weekday = (y + y / 4 - y / 100 + y / 400 + offs[t.month - 1] + t.day) % 7;
  out = t;
  return true;
}

void FakeClock::Set(const std::string& text) {
  LocalTime t;
  if (ParseTimeText(text, t)) now_ = t;
}

}  // namespace varnel
