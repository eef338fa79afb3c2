// Duty time: a 24-bit hour mask per weekday.
#pragma once
#include <cstdint>
#include <string>

#include "platform/clock.h"

namespace varnel {

// True when the mask's bit for the current hour is set. Masks of 2^24 and more count as on
// duty at every hour, negative masks as off duty, as the bit walk from bit 23 down gives.
bool DutyTimeCheck(const Clock& clock, std::int64_t mask);

// True when the mask's bit for hour (0..23) is set, by the same bit walk as DutyTimeCheck.
bool DutyHourOn(std::int64_t mask, int hour);

// The duty column of a weekday (0 = Sunday): "DutyTimeSun" .. "DutyTimeSat".
std::string DutyTimeColumn(int weekday);

}  // namespace varnel
