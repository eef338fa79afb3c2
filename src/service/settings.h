// General settings kept in memory and their periodic re-read.
#pragma once
#include <string>

#include "platform/snmp/service_trap.h"
#include "service/varnel.h"

namespace varnel {

// Re-reads CheckInterval, DebugMode, BufferAllMessOffDuty and NotifyDutyListOnOff, and
// forgets the trap destinations kept so far.
void ReadDb_Updates(Varnel& ctx);

// The trap destination of a settings row (TrapIpAddress, TrapUdpPort, TrapCommunity,
// TrapProtocol) and its switch column.
snmp::TrapTarget ReadTrapTarget(Varnel& ctx, const std::string& table,
                                const std::string& switchColumn);

// The same, read once and then kept until ReadDb_Updates: for a destination used per
// message, where a database read each time would cost more than the message itself.
snmp::TrapTarget KeptTrapTarget(Varnel& ctx, const std::string& table,
                                const std::string& switchColumn);

// A trap of the service's enterprise, stamped with the service's up time.
snmp::Message NewServiceTrap(Varnel& ctx, const snmp::TrapTarget& target, int specific,
                             const std::string& v1AgentAddress);

}  // namespace varnel
