// The SNMP time base: hundredths of a second since the service started.
#pragma once
#include <cstdint>

#include "platform/clock.h"

namespace varnel::snmp {

// Whole seconds from one local time to a later one (wall-clock difference).
std::int64_t SecondsBetween(const LocalTime& from, const LocalTime& to);

// Seconds since start times 100, at most 2147483647 (a longer up time reads as that value).
std::uint32_t UpTimeTicks(const LocalTime& start, const LocalTime& now);

}  // namespace varnel::snmp
