// Log rows waiting for the database: rows of the event and alarm logs whose write failed
// for a reason that passes (another program holds the database locked, the disk is full)
// are kept here, in order, and written with the next write or at the end of a later cycle.
#pragma once
#include <cstdint>
#include <deque>
#include <string>

namespace varnel {

// At most this many rows wait per log; further ones are dropped and counted.
constexpr std::size_t kMaxKeptLogRows = 3000;

struct KeptEventRow {
  std::string DateAndTime, Priority, Name, Message, EventSource;
};

struct KeptAlarmRow {
  std::string DateAndTime, Receiver, Message, SendStatus, SendType;
  std::int16_t SendStatusInt = 0;
  bool known = true;  // false: a row of an unknown list, with only the index and the time
};

struct LogState {
  std::deque<KeptEventRow> events;
  std::deque<KeptAlarmRow> alarms;
  // A write of this cycle failed: the end of the cycle does not try again at once.
  bool failedThisCycle = false;
  // A trace write failed and none has succeeded since: further failures are not reported.
  bool traceFailing = false;
};

}  // namespace varnel
