// Forwarding of accepted Syslog messages to a network manager as SNMP traps.
#pragma once
#include <cstdint>
#include <string>

#include "service/varnel.h"

namespace varnel {

// Sends one trap for a Syslog message when Event_SysLog asks for forwarding: an SNMPv1
// enterprise trap (1.3.6.1.4.1.99412.1.10.2, specific 2) or an SNMPv2 trap
// (1.3.6.1.4.1.99412.1.10.2.0.2), carrying node name, priority number (1 to 5) and message.
void ForwardSysLogAsTrap(Varnel& ctx, const std::string& senderAddress, const std::string& nodeName,
                         std::int16_t priority, const std::string& message);

}  // namespace varnel
