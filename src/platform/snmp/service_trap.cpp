#include "platform/snmp/service_trap.h"

#include <arpa/inet.h>

#include "platform/snmp/snmp_socket.h"

namespace varnel::snmp {

bool IsIpv4(const std::string& address) {
  in_addr a{};
  return inet_pton(AF_INET, address.c_str(), &a) == 1;
}

Message NewServiceTrap(SnmpAgent& agent, const TrapTarget& target, int specific,
                       const std::string& v1AgentAddress, std::uint32_t upTime) {
  Message m;
  m.community = target.community;
  if (target.protocol != "SNMPv2 Trap" && target.protocol != "SNMPv2 Inform") {
    m.version = kVersion1;
    m.pduType = pdu::kTrapV1;
    m.enterprise = kServiceEnterprise;
    m.genericTrap = 6;
    m.specificTrap = specific;
    m.timeStamp = upTime;
    m.agentAddress = IsIpv4(v1AgentAddress) ? v1AgentAddress : "0.0.0.0";
  } else {
    m.version = kVersion2c;
    m.pduType = pdu::kTrapV2;
    m.requestId = agent.NextRequestId();
    m.variables.push_back({kSysUpTimeOid, std::to_string(upTime), vt::kTimeTicks});
    m.variables.push_back({kSnmpTrapOidOid,
                           std::string(kServiceEnterprise) + ".0." + std::to_string(specific),
                           vt::kObjectId});
  }
  return m;
}

}  // namespace varnel::snmp
