// The two message tables that the service empties at start and on activation.
#pragma once
#include "service/varnel.h"

namespace varnel {

void ClearInfoMessageDb(Varnel& ctx);  // every row of SuppGrp_SendMess
void ClearTestMessageDb(Varnel& ctx);  // every row of Receiver_Test

}  // namespace varnel
