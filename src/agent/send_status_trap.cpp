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

// Object n of the acknowledgement group under the private arc.
std::string AckObject(int n) {
  return std::string(snmp::kPrivateArc) + ".1.7." + std::to_string(n);
}

// The agent's own address; an agent bound to every address (or not started) reports the
// address this machine uses towards the manager.
std::string TrapAgentAddress(Varnel& ctx, const snmp::TrapTarget& target) {
  snmp::SnmpAgent& agent = *ctx.snmp.agent;
  std::string local = agent.LocalAddress();
  return snmp::IsIpv4(local) && local != "0.0.0.0" ? local
                                                   : agent.SourceAddressFor(target.Destination());
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
    snmp::TrapTarget target = KeptTrapTarget(ctx, "Event_CheckInterval", "ForwardSendStatusAsTrap");
    if (!target.forward) return;
    snmp::Message m = NewServiceTrap(ctx, target, 1, TrapAgentAddress(ctx, target));
    m.variables.push_back({StatusObject(1), recvName, snmp::vt::kOctetString});
    m.variables.push_back({StatusObject(2), recvMess, snmp::vt::kOctetString});
    // A receiver type outside the six has no code: the variable goes as Null.
    int typeCode = ReceiverTypeCode(recvType);
    m.variables.push_back(
        typeCode ? snmp::Variable{StatusObject(3), std::to_string(typeCode), snmp::vt::kInteger}
                 : snmp::Variable{StatusObject(3), "", snmp::vt::kNull});
    m.variables.push_back({StatusObject(4), std::to_string(recvSendStatusInt), snmp::vt::kInteger});
    m.variables.push_back({StatusObject(5), recvSendStatus, snmp::vt::kOctetString});
    ctx.snmp.agent->SendTrap(target.Destination(), m);
  });
}

void ForwardReqAckStatus(Varnel& ctx, int alarmId, const std::string& receiver, int ackStatus,
                         const std::string& ackInfo) {
  Guarded(ctx, "ForwardReqAckStatus", [&] {
    snmp::TrapTarget target = KeptTrapTarget(ctx, "Event_CheckInterval", "ForwardSendStatusAsTrap");
    if (!target.forward) return;
    snmp::Message m = NewServiceTrap(ctx, target, 3, TrapAgentAddress(ctx, target));
    m.variables.push_back({AckObject(1), std::to_string(alarmId), snmp::vt::kInteger});
    m.variables.push_back({AckObject(2), receiver, snmp::vt::kOctetString});
    m.variables.push_back({AckObject(3), std::to_string(ackStatus), snmp::vt::kInteger});
    m.variables.push_back({AckObject(4), ackInfo, snmp::vt::kOctetString});
    ctx.snmp.agent->SendTrap(target.Destination(), m);
  });
}

}  // namespace varnel
