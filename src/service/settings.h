// General settings kept in memory and their periodic re-read.
#pragma once
#include "service/varnel.h"

namespace varnel {

// Re-reads CheckInterval, DebugMode, BufferAllMessOffDuty and NotifyDutyListOnOff.
void ReadDb_Updates(Varnel& ctx);

}  // namespace varnel
