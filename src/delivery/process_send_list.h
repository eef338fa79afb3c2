// Delivery of the send list: each entry through the transport of its receiver type, each
// attempt recorded in the alarm log.
#pragma once
#include <string>
#include <vector>

#include "service/state/delivery_state.h"
#include "service/varnel.h"

namespace varnel {

// A transport: delivers the entry's RecvMess to its receiver and writes the result fields.
using Transport = void (*)(Varnel& ctx, SendEntry& entry);

// The transport of the entry's type. A type without one leaves the result fields alone.
void DeliverSendEntry(Varnel& ctx, SendEntry& entry);

// The messages one entry's text becomes with OneMessOneEvent: the events between ">>" of a
// group text, each behind the acknowledgement prefix "<ID=nnn> " when the text has one; at
// most maxMessages of them when that is 1 or more.
std::vector<std::string> SplitGroupText(const std::string& text, int maxMessages);

// Delivers every filled entry of the send list and records each attempt.
void ProcessSendList(Varnel& ctx);
// The same with a given transport for every type.
void ProcessSendList(Varnel& ctx, Transport deliver);

}  // namespace varnel
