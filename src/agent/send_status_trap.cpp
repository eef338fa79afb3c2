#include "agent/send_status_trap.h"

#include <arpa/inet.h>

#include "platform/snmp/snmp_message.h"
#include "platform/snmp/up_time.h"
#include "service/errors.h"

namespace varnel {
namespace {

constexpr const char* kStatusEnterprise = "1.3.6.1.4.1.99412.1.10.2";
constexpr const char* kStatusTrapOid = "1.3.6.1.4.1.99412.1.10.2.0.1";

bool IsIpv4(const std::string& address) {
  in_addr a{};
  return inet_pton(AF_INET, address.c_str(), &a) == 1;
}

}  // namespace

int ReceiverTypeCode(const std::string& recvType) {
  if (recvType == "PhoneDA" || recvType == "PhoneMO") return 1;
  if (recvType == "PagerAlfa" || recvType == "PagerNum") return 2;
  if (recvType == "MailSMTP") return 3;
  if (recvType == "PopupNetSend") return 4;
  return 0;
}

void ForwardSendStatus(Varnel& ctx, const std::string& recvName, const std::string& recvType,
                       const std::string& recvMess, std::int16_t recvSendStatusInt,
                       const std::string& recvSendStatus) {
  Guarded(ctx, "ForwardSendStatus", [&] {
    bool forward;
    std::string address, community, protocol;
    int port;
    {
      Database db = OpenDatabase(ctx);
      Table t = db.Open("Event_CheckInterval");
      forward = t.Flag("ForwardSendStatusAsTrap");
      address = t.Text("TrapIpAddress");
      port = t.Int32("TrapUdpPort");  // ports above 32767 are common
      community = t.Text("TrapCommunity");
      protocol = t.Text("TrapProtocol");
    }
    if (!forward) return;
    std::string destination = address + ":" + std::to_string(port);
    snmp::SnmpAgent& agent = ctx.snmp.agent;
    snmp::Message m;
    m.community = community;
    std::uint32_t upTime = snmp::UpTimeTicks(ctx.StartTime, ctx.clock.Now());
    if (protocol != "SNMPv2 Trap" && protocol != "SNMPv2 Inform") {
      m.version = snmp::kVersion1;
      m.pduType = snmp::pdu::kTrapV1;
      m.enterprise = kStatusEnterprise;
      m.genericTrap = 6;
      m.specificTrap = 1;
      m.timeStamp = upTime;
      // The agent's own address; an agent bound to every address (or not started) reports
      // the address this machine uses towards the manager.
      std::string local = agent.LocalAddress();
      m.agentAddress = IsIpv4(local) && local != "0.0.0.0" ? local
                                                           : agent.SourceAddressFor(destination);
    } else {
      // An inform is sent as a plain v2c trap: nobody waits for its answer.
      m.version = snmp::kVersion2c;
      m.pduType = snmp::pdu::kTrapV2;
      m.requestId = agent.NextRequestId();
      m.variables.push_back({"1.3.6.1.2.1.1.3.0", std::to_string(upTime), snmp::vt::kTimeTicks});
      m.variables.push_back({"1.3.6.1.6.3.1.1.4.1.0", kStatusTrapOid, snmp::vt::kObjectId});
    }
    m.variables.push_back({"1.3.6.1.4.1.99412.1.10.1.3.1", recvName, snmp::vt::kOctetString});
    m.variables.push_back({"1.3.6.1.4.1.99412.1.10.1.3.2", recvMess, snmp::vt::kOctetString});
    // A receiver type outside the six has no code: the variable goes as Null.
    int typeCode = ReceiverTypeCode(recvType);
    m.variables.push_back(typeCode ? snmp::Variable{"1.3.6.1.4.1.99412.1.10.1.3.3",
                                                    std::to_string(typeCode), snmp::vt::kInteger}
                                   : snmp::Variable{"1.3.6.1.4.1.99412.1.10.1.3.3", "",
                                                    snmp::vt::kNull});
    m.variables.push_back({"1.3.6.1.4.1.99412.1.10.1.3.4", std::to_string(recvSendStatusInt),
                           snmp::vt::kInteger});
    m.variables.push_back({"1.3.6.1.4.1.99412.1.10.1.3.5", recvSendStatus,
                           snmp::vt::kOctetString});
    agent.SendTrap(destination, m);
  });
}

}  // namespace varnel
