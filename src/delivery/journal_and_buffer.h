// The duty journal: scheduled hand-overs that make another receiver the first receiver of a
// support group at a given date and hour.
#pragma once
#include "service/varnel.h"

namespace varnel {

// Applies the journal rows due this hour (telling the incoming and the outgoing receiver
// when NotifyDutyListOnOff is on) and deletes them; deletes rows of past days unapplied.
// A row naming a group or receiver that does not exist is reported and left unapplied.
void ProcessJourList(Varnel& ctx);

// Delivers the buffered messages of receivers on duty now, by the duty hours stored with
// each message, and drops messages buffered more than three day boundaries ago.
void ProcessBufferList(Varnel& ctx);

}  // namespace varnel
