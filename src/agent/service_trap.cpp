#include "agent/service_trap.h"

#include <arpa/inet.h>

#include "platform/database.h"
#include "platform/snmp/up_time.h"
#include "service/errors.h"

namespace varnel {
namespace {
constexpr const char* kServiceEnterprise = "1.3.6.1.4.1.99412.1.10.2";
constexpr const char* kSysUpTimeOid = "1.3.6.1.2.1.1.3.0";
constexpr const char* kSnmpTrapOidOid = "1.3.6.1.6.3.1.1.4.1.0";
}  // namespace

bool IsIpv4(const std::string& address) {
  in_addr a{};
  return inet_pton(AF_INET, address.c_str(), &a) == 1;
}

TrapTarget ReadTrapTarget(Varnel& ctx, const std::string& table, const std::string& switchColumn) {
  Database db = OpenDatabase(ctx);
  Table t = db.Open(table);
  TrapTarget target;
  target.forward = t.Flag(switchColumn);
  target.address = t.Text("TrapIpAddress");
  target.port = t.Int32("TrapUdpPort");  // ports above 32767 are common
  target.community = t.Text("TrapCommunity");
  target.protocol = t.Text("TrapProtocol");
  return target;
}

snmp::Message NewServiceTrap(Varnel& ctx, const TrapTarget& target, int specific,
                             const std::string& v1AgentAddress) {
  snmp::Message m;
  m.community = target.community;
  std::uint32_t upTime = snmp::UpTimeTicks(ctx.StartTime, ctx.clock.Now());
  if (target.protocol != "SNMPv2 Trap" && target.protocol != "SNMPv2 Inform") {
    m.version = snmp::kVersion1;
    m.pduType = snmp::pdu::kTrapV1;
    m.enterprise = kServiceEnterprise;
    m.genericTrap = 6;
    m.specificTrap = specific;
    m.timeStamp = upTime;
    m.agentAddress = IsIpv4(v1AgentAddress) ? v1AgentAddress : "0.0.0.0";
  } else {
    m.version = snmp::kVersion2c;
    m.pduType = snmp::pdu::kTrapV2;
    m.requestId = ctx.snmp.agent.NextRequestId();
    m.variables.push_back({kSysUpTimeOid, std::to_string(upTime), snmp::vt::kTimeTicks});
    m.variables.push_back({kSnmpTrapOidOid,
                           std::string(kServiceEnterprise) + ".0." + std::to_string(specific),
                           snmp::vt::kObjectId});
  }
  return m;
}

}  // namespace varnel
