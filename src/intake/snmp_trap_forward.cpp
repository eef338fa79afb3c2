#include "intake/snmp_trap_forward.h"

#include "platform/event_loop.h"
#include "platform/snmp/snmp_socket.h"
#include "service/errors.h"
#include "service/settings.h"

namespace varnel {
namespace {

// Object n of the forwarded Syslog group under the private arc.
std::string SyslogObject(int n) {
  return std::string(snmp::kPrivateArc) + ".1.6." + std::to_string(n);
}

}  // namespace

void ForwardSysLogAsTrap(Varnel& ctx, const std::string& senderAddress, const std::string& nodeName,
                         std::int16_t priority, const std::string& message) {
  Guarded(ctx, "ForwardSysLogAsTrap", [&] {
    snmp::TrapTarget target = KeptTrapTarget(ctx, "Event_SysLog", "ForwardSysLogAsTrap");
    if (!target.forward) return;
    // The agent-addr field holds only an IPv4 address; other senders are sent as 0.0.0.0.
    snmp::Message m = NewServiceTrap(ctx, target, 2, senderAddress);
    m.variables.push_back({SyslogObject(1), nodeName, snmp::vt::kOctetString});
    m.variables.push_back({SyslogObject(2), std::to_string(priority), snmp::vt::kInteger});
    m.variables.push_back({SyslogObject(3), message, snmp::vt::kOctetString});
    ctx.snmp.agent->SendTrap(target.Destination(), m);
    Delay(ctx.io, 5);
  });
}

}  // namespace varnel
