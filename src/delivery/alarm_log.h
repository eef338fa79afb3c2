// The alarm log: one row in LogFiles_Alarm for every delivery attempt.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "platform/clock.h"
#include "platform/database.h"
#include "service/varnel.h"

namespace varnel {

// Rows stop after this value of the day's counter; the counter still advances.
constexpr int kMaxAlarmLogIndex = 3000;

// Takes the next number of the day's log counter (a column of Settings_General) inside db's
// open transaction, so that the counter and the row need one disk sync, and gives the Index
// of the row written at now: the day's stamp plus that number. Until the first cycle of a new
// day has run its hourly jobs (and reset the counters), rows still count to the day before.
// Empty once the counter has passed kMaxAlarmLogIndex; it advances all the same.
std::optional<std::int64_t> TakeDailyLogIndex(const Varnel& ctx, Database& db, const char* counter,
                                              const LocalTime& now);

// Records the attempt of entry index of the list named ("SendList", "BufferList" or
// "TestMessage", whose index is not used). Any other list name gives a row with only the
// index and the time. Sets LogChanged. Rows kept from failed writes are written first; when
// the database cannot be written for now, the row waits with them.
void UpdateAlarmLog(Varnel& ctx, int index, const std::string& listName);

// Writes the event and alarm log rows kept while the database could not be written, unless
// a write failed in this cycle already; called at the end of every cycle.
void WriteKeptLogRows(Varnel& ctx);

// Reports the attempt of entry index of the list named as a send-status trap, when
// Event_CheckInterval asks for it.
void ForwardSendStatus(Varnel& ctx, int index, const std::string& listName);

}  // namespace varnel
