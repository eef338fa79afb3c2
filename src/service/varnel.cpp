#include "service/varnel.h"

#include "platform/snmp/snmp_socket.h"

namespace varnel {

SnmpState::SnmpState()
    : InTrap(kTrapQueueSlots), InTrapSpare(kTrapQueueSlots), SnmpTrap(kTrapDefinitions) {}
SnmpState::~SnmpState() = default;

Varnel::Varnel(asio::io_context& io, const Clock& clock, EventLog& eventLog, std::string programDir)
    : io(io), clock(clock), eventLog(eventLog), ProgramDir(std::move(programDir)) {
  snmp.manager = std::make_unique<snmp::SnmpManager>(io);
  snmp.agent = std::make_unique<snmp::SnmpAgent>(io);
}

Varnel::~Varnel() = default;

}  // namespace varnel
