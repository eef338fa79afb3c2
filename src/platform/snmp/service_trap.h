// Traps that the service sends on its own (forwarded Syslog, send status): the destination
// settings and the v1 or v2c frame under the service's enterprise.
#pragma once
#include <cstdint>
#include <string>

#include "platform/snmp/snmp_message.h"

namespace varnel::snmp {

class SnmpAgent;

// The service's private arc, its enterprise and the objects of its own traps.
inline constexpr const char* kPrivateArc = "1.3.6.1.4.1.99412.1.10";
inline constexpr const char* kServiceEnterprise = "1.3.6.1.4.1.99412.1.10.2";
inline constexpr const char* kSysUpTimeOid = "1.3.6.1.2.1.1.3.0";
inline constexpr const char* kSnmpTrapOidOid = "1.3.6.1.6.3.1.1.4.1.0";

// TrapProtocol words; any other word sends SNMPv1.
inline constexpr const char* kTrapProtocols[] = {"SNMPv1 Trap", "SNMPv2 Trap", "SNMPv2 Inform"};

// TrapIpAddress, TrapUdpPort, TrapCommunity, TrapProtocol of a settings row, and its switch.
struct TrapTarget {
  bool forward = false;
  std::string address, community, protocol;
  int port = 0;
  std::string Destination() const { return address + ":" + std::to_string(port); }
};

// A trap of the service's enterprise with the given specific number: SNMPv1 for any protocol
// word but "SNMPv2 Trap"/"SNMPv2 Inform" (an inform goes as a plain v2c trap: nobody waits for
// its answer). v1AgentAddress is used when it is an IPv4 address, else 0.0.0.0. A v2c trap
// takes its request id from agent.
Message NewServiceTrap(SnmpAgent& agent, const TrapTarget& target, int specific,
                       const std::string& v1AgentAddress, std::uint32_t upTime);

bool IsIpv4(const std::string& address);

}  // namespace varnel::snmp
