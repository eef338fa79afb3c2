// Opening and closing the listeners at start and stop.
#pragma once
#include <string>

#include "service/varnel.h"

namespace varnel {

void ServiceOpen(Varnel& ctx, const std::string& name);
void ServiceClose(Varnel& ctx, const std::string& name);

// The failure entry and status of a listener whose start raised error number/description.
// Writes the entry and sets ListenerStatus; returns the status text to store.
std::string ListenerFailed(Varnel& ctx, const std::string& name, int number,
                           const std::string& description);

}  // namespace varnel
