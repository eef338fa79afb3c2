#include "intake/snmp_trap_forward.h"

#include <arpa/inet.h>

#include "platform/event_loop.h"
#include "platform/snmp/snmp_message.h"
#include "platform/snmp/up_time.h"
#include "service/errors.h"

namespace varnel {
namespace {

constexpr const char* kSyslogEnterprise = "1.3.6.1.4.1.99412.1.10.2";
constexpr const char* kSyslogTrapOid = "1.3.6.1.4.1.99412.1.10.2.0.2";
constexpr const char* kSysUpTimeOid = "1.3.6.1.2.1.1.3.0";
constexpr const char* kSnmpTrapOidOid = "1.3.6.1.6.3.1.1.4.1.0";

bool IsIpv4(const std::string& address) {
  in_addr a{};
  return inet_pton(AF_INET, address.c_str(), &a) == 1;
}

}  // namespace

void ForwardSysLogAsTrap(Varnel& ctx, const std::string& senderAddress,
                         const std::string& nodeName, std::int16_t priority,
                         const std::string& message) {
  Guarded(ctx, "ForwardSysLogAsTrap", [&] {
    bool forward;
    std::string address, community, protocol;
    int port;
    {
      Database db = OpenDatabase(ctx);
      Table t = db.Open("Event_SysLog");
      forward = t.Flag("ForwardSysLogAsTrap");
      address = t.Text("TrapIpAddress");
      port = t.Int32("TrapUdpPort");  // ports above 32767 are common
      community = t.Text("TrapCommunity");
      protocol = t.Text("TrapProtocol");
    }
    if (!forward) return;
    snmp::Message m;
    m.community = community;
    std::uint32_t upTime = snmp::UpTimeTicks(ctx.StartTime, ctx.clock.Now());
    if (protocol != "SNMPv2 Inform" && protocol != "SNMPv2 Trap") {
      m.version = snmp::kVersion1;
      m.pduType = snmp::pdu::kTrapV1;
      m.enterprise = kSyslogEnterprise;
      m.genericTrap = 6;
      m.specificTrap = 2;
      m.timeStamp = upTime;
      // The agent-addr field holds only an IPv4 address; other senders are sent as 0.0.0.0.
      m.agentAddress = IsIpv4(senderAddress) ? senderAddress : "0.0.0.0";
    } else {
      // An inform is sent as a plain v2c trap: nobody waits for its answer.
      m.version = snmp::kVersion2c;
      m.pduType = snmp::pdu::kTrapV2;
      m.requestId = ctx.snmp.agent.NextRequestId();
      m.variables.push_back({kSysUpTimeOid, std::to_string(upTime), snmp::vt::kTimeTicks});
      m.variables.push_back({kSnmpTrapOidOid, kSyslogTrapOid, snmp::vt::kObjectId});
    }
    m.variables.push_back({"1.3.6.1.4.1.99412.1.10.1.6.1", nodeName, snmp::vt::kOctetString});
    m.variables.push_back(
        {"1.3.6.1.4.1.99412.1.10.1.6.2", std::to_string(priority), snmp::vt::kInteger});
    m.variables.push_back({"1.3.6.1.4.1.99412.1.10.1.6.3", message, snmp::vt::kOctetString});
    ctx.snmp.agent.SendTrap(address + ":" + std::to_string(port), m);
    Delay(ctx.io, 5);
  });
}

}  // namespace varnel
