// Service state handling: the start and stop sequences.
#pragma once
#include "service/varnel.h"

namespace varnel {

// State codes of the service control.
enum ServiceCode { kCodeStop = 0, kCodePause = 1, kCodeStart = 2, kCodeContinue = 3 };

void dartSvc_State(Varnel& ctx, int code);

}  // namespace varnel
