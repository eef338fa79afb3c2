// SNMP trap reception: the trap server's start and stop, and the trap event that checks the
// community, normalises v1 and v2c traps into the trap queue, answers informs and writes
// direct-message traps into the drop file "SnmpMess.log".
#pragma once
#include <string>

#include "platform/database.h"
#include "platform/snmp/snmp_message.h"
#include "service/varnel.h"

namespace varnel {

// The private trap that carries a direct message to a receiver.
inline constexpr const char* kDirectMessageTrapOid = "1.3.6.1.4.1.99412.1.14.2.0.1";

// Starts the trap server from the open Event_SNMP_TrapServer row t, writes the local address
// back into its IpAddress column and returns the started status text. Raises the socket error
// (10048, 10049) when the port cannot be bound.
std::string OpenTrapServer(Varnel& ctx, Table& t);
void CloseTrapServer(Varnel& ctx);

// The trap event: one received trap or inform.
void snmpManager_Trap(Varnel& ctx, snmp::Message& message);
// The component's error event.
void snmpManager_Error(Varnel& ctx, int number, const std::string& description);

}  // namespace varnel
