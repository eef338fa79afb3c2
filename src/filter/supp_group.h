// The support group filter: which enabled, on-duty groups the events of this cycle concern,
// with one composed alarm text per group.
#pragma once
#include "service/varnel.h"

namespace varnel {

// Alarm texts of one group are cut to this many characters.
constexpr long kMaxGroupTextChars = 25000;

// Fills ctx.filter.SuppGrp from the event list. Correlating groups hold their "down" events
// in "Hold_Queue.log"; groups that ask for acknowledgement add a line to "ReqAck.log".
void SuppGroupCheck(Varnel& ctx);

}  // namespace varnel
