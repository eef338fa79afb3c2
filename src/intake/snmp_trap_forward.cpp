#include "intake/snmp_trap_forward.h"

#include "service/settings.h"
#include "platform/snmp/snmp_socket.h"
#include "platform/event_loop.h"
#include "service/errors.h"

namespace varnel {

void ForwardSysLogAsTrap(Varnel& ctx, const std::string& senderAddress,
                         const std::string& nodeName, std::int16_t priority,
                         const std::string& message) {
  Guarded(ctx, "ForwardSysLogAsTrap", [&] {
    snmp::TrapTarget target = ReadTrapTarget(ctx, "Event_SysLog", "ForwardSysLogAsTrap");
    if (!target.forward) return;
    // The agent-addr field holds only an IPv4 address; other senders are sent as 0.0.0.0.
    snmp::Message m = NewServiceTrap(ctx, target, 2, senderAddress);
    m.variables.push_back({"1.3.6.1.4.1.99412.1.10.1.6.1", nodeName, snmp::vt::kOctetString});
    m.variables.push_back(
        {"1.3.6.1.4.1.99412.1.10.1.6.2", std::to_string(priority), snmp::vt::kInteger});
    m.variables.push_back({"1.3.6.1.4.1.99412.1.10.1.6.3", message, snmp::vt::kOctetString});
    ctx.snmp.agent->SendTrap(target.Destination(), m);
    Delay(ctx.io, 5);
  });
}

}  // namespace varnel
