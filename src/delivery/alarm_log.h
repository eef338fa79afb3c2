// The alarm log: one row in LogFiles_Alarm for every delivery attempt.
#pragma once
#include <string>

#include "service/varnel.h"

namespace varnel {

// Rows stop after this value of the day's counter; the counter still advances.
constexpr int kMaxAlarmLogIndex = 3000;

// Records the attempt of entry index of the list named ("SendList", "BufferList" or
// "TestMessage", whose index is not used). Any other list name gives a row with only the
// index and the time. Sets LogChanged.
void UpdateAlarmLog(Varnel& ctx, int index, const std::string& listName);

// Reports the attempt of entry index of the list named as a send-status trap, when
// Event_CheckInterval asks for it.
void ForwardSendStatus(Varnel& ctx, int index, const std::string& listName);

}  // namespace varnel
