// The two message tables that the service empties at start and on activation.
#pragma once
#include "service/varnel.h"

namespace varnel {

void ClearInfoMessageDb(Varnel& ctx);  // every row of SuppGrp_SendMess
void ClearTestMessageDb(Varnel& ctx);  // every row of Receiver_Test

// What a start and an activation have in common: the drop files go, the log file input
// counts as started, the message tables are emptied and the hold queue and acknowledgement
// requests are forgotten. A file that cannot be deleted raises.
void ResetDropFilesAndMessages(Varnel& ctx);

}  // namespace varnel
