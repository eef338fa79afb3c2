#include "platform/snmp/up_time.h"

namespace varnel::snmp {
namespace {

// Days since 1970-01-01 of a civil date (proleptic Gregorian calendar).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  auto yoe = static_cast<unsigned>(y - era * 400);
  unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

std::int64_t Seconds(const LocalTime& t) {
  return DaysFromCivil(t.year, static_cast<unsigned>(t.month), static_cast<unsigned>(t.day)) *
             86400 +
         t.hour * 3600 + t.minute * 60 + t.second;
}

}  // namespace

std::int64_t SecondsBetween(const LocalTime& from, const LocalTime& to) {
  return Seconds(to) - Seconds(from);
}

std::uint32_t UpTimeTicks(const LocalTime& start, const LocalTime& now) {
  constexpr std::int64_t kMax = 2147483647;
  std::int64_t seconds = SecondsBetween(start, now);
  if (seconds <= 0) return 0;
  if (seconds >= kMax / 100 + 1) return static_cast<std::uint32_t>(kMax);
  return static_cast<std::uint32_t>(seconds * 100);
}

}  // namespace varnel::snmp
