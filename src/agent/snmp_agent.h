// The SNMP agent: Get, GetNext and Set on the service's MIB, pausing and resuming the
// service, the settings re-read request, and the activation of a standby system.
#pragma once
#include <string>

#include "platform/database.h"
#include "platform/snmp/snmp_message.h"
#include "service/varnel.h"

namespace varnel {

// Starts the agent from the open Settings_SNMP_Agent row t, loads its settings and returns
// the started status text. Raises the socket error (10048, 10049) when it cannot bind.
std::string OpenSnmpAgent(Varnel& ctx, Table& t);
void CloseSnmpAgent(Varnel& ctx);

// The request event: dispatches by PDU type and sends the response to the requester.
void snmpAgent_Request(Varnel& ctx, snmp::Message& request);
void SnmpGetRequest(Varnel& ctx, snmp::Message& request);
void SnmpGetNextRequest(Varnel& ctx, snmp::Message& request);
void SnmpSetRequest(Varnel& ctx, snmp::Message& request);
// The component's error event.
void snmpAgent_Error(Varnel& ctx, int number, const std::string& description);

// Makes the service active and drops what arrived while it was not: input lists, drop
// files, test and information messages, the hold queue and pending acknowledgements.
void SnmpInitOn(Varnel& ctx);

// Applies the state change of agent requests that arrived while a cycle ran: the activation
// first, then the run state and the update request.
void ApplyAgentRequest(Varnel& ctx);

// Writes value into the column field of Settings_SNMP_Agent.
void SnmpDbUpdate(Varnel& ctx, const std::string& field, const std::string& value);

}  // namespace varnel
