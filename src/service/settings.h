// General settings kept in memory and their periodic re-read.
#pragma once
#include <string>

#include "platform/snmp/service_trap.h"
#include "service/varnel.h"

namespace varnel {

// Re-reads CheckInterval, DebugMode, BufferAllMessOffDuty and NotifyDutyListOnOff.
void ReadDb_Updates(Varnel& ctx);

// The trap destination of a settings row (TrapIpAddress, TrapUdpPort, TrapCommunity,
// TrapProtocol) and its switch column.
snmp::TrapTarget ReadTrapTarget(Varnel& ctx, const std::string& table,
                                const std::string& switchColumn);

// A trap of the service's enterprise, stamped with the service's up time.
snmp::Message NewServiceTrap(Varnel& ctx, const snmp::TrapTarget& target, int specific,
                             const std::string& v1AgentAddress);

}  // namespace varnel
