#include "agent/send_status_trap.h"

#include "platform/snmp/snmp_socket.h"
#include "service/errors.h"
#include "service/settings.h"

namespace varnel {
namespace {

// Object n of the send status group under the private arc.
std::string StatusObject(int n) {
  return std::string(snmp::kPrivateArc) + ".1.3." + std::to_string(n);
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
    snmp::TrapTarget target = ReadTrapTarget(ctx, "Event_CheckInterval", "ForwardSendStatusAsTrap");
    if (!target.forward) return;
    snmp::SnmpAgent& agent = *ctx.snmp.agent;
    // The agent's own address; an agent bound to every address (or not started) reports the
    // address this machine uses towards the manager.
    std::string local = agent.LocalAddress();
    snmp::Message m = NewServiceTrap(ctx, target, 1,
                                     snmp::IsIpv4(local) && local != "0.0.0.0"
                                         ? local
                                         : agent.SourceAddressFor(target.Destination()));
    m.variables.push_back({StatusObject(1), recvName, snmp::vt::kOctetString});
    m.variables.push_back({StatusObject(2), recvMess, snmp::vt::kOctetString});
    // A receiver type outside the six has no code: the variable goes as Null.
    int typeCode = ReceiverTypeCode(recvType);
    m.variables.push_back(
        typeCode ? snmp::Variable{StatusObject(3), std::to_string(typeCode), snmp::vt::kInteger}
                 : snmp::Variable{StatusObject(3), "", snmp::vt::kNull});
    m.variables.push_back({StatusObject(4), std::to_string(recvSendStatusInt), snmp::vt::kInteger});
    m.variables.push_back({StatusObject(5), recvSendStatus, snmp::vt::kOctetString});
    agent.SendTrap(target.Destination(), m);
  });
}

}  // namespace varnel
