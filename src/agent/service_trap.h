// Traps that the service sends on its own (forwarded Syslog, send status): the destination
// settings and the v1 or v2c frame under the service's enterprise.
#pragma once
#include <string>

#include "platform/snmp/snmp_message.h"
#include "service/varnel.h"

namespace varnel {

// TrapIpAddress, TrapUdpPort, TrapCommunity, TrapProtocol of a settings row, and its switch.
struct TrapTarget {
  bool forward = false;
  std::string address, community, protocol;
  int port = 0;
  std::string Destination() const { return address + ":" + std::to_string(port); }
};
TrapTarget ReadTrapTarget(Varnel& ctx, const std::string& table, const std::string& switchColumn);

// A trap of the service's enterprise with the given specific number: SNMPv1 for any protocol
// word but "SNMPv2 Trap"/"SNMPv2 Inform" (an inform goes as a plain v2c trap: nobody waits for
// its answer). v1AgentAddress is used when it is an IPv4 address, else 0.0.0.0.
snmp::Message NewServiceTrap(Varnel& ctx, const TrapTarget& target, int specific,
                             const std::string& v1AgentAddress);

bool IsIpv4(const std::string& address);

}  // namespace varnel
