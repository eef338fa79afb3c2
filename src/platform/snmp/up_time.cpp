#include "platform/snmp/up_time.h"

namespace varnel::snmp {

std::uint32_t UpTimeTicks(const LocalTime& start, const LocalTime& now) {
  constexpr std::int64_t kMax = 2147483647;
  std::int64_t seconds = SecondsBetween(start, now);
  if (seconds <= 0) return 0;
  if (seconds >= kMax / 100 + 1) return static_cast<std::uint32_t>(kMax);
  return static_cast<std::uint32_t>(seconds * 100);
}

}  // namespace varnel::snmp
