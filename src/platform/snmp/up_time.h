// The SNMP time base: hundredths of a second since the service started.
#pragma once
#include <cstdint>

#include "platform/clock.h"

namespace varnel::snmp {

// Seconds since start times 100, at most 2147483647 (a longer up time reads as that value).
std::uint32_t UpTimeTicks(const LocalTime& start, const LocalTime& now);

}  // namespace varnel::snmp
