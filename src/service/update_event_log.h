// Writes the event list to the event log table with daily running indexes.
#pragma once
#include <cstdint>
#include <string>

#include "service/varnel.h"

namespace varnel {

constexpr int kMaxLogRowsPerDay = 3000;

// Day stamp of a "YYYY-MM-DD" date: last year digit * 10^8 + month * 10^6 + day * 10^4.
std::int32_t DayStamp(const std::string& date);

void UpdateEventLog(Varnel& ctx);

}  // namespace varnel
