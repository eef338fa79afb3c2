// The "Event.log" drop file and the poll watchdog alarm.
#pragma once
#include "service/varnel.h"

namespace varnel {

// Reads "Event.log" (date TAB priority TAB node TAB message), appends one event per line
// and deletes the file.
void WriteEventLogEventsToEventList(Varnel& ctx);

// Puts the poll alarm of Settings_SNMP_Agent into entry 1 of the event list.
void WriteNmsPollAlarmToEventList(Varnel& ctx);

}  // namespace varnel
