// State of the SNMP side of the service: the trap server with its queue and trap
// definitions, the agent's settings, and the two sockets of the SNMP component.
#pragma once
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/slots.h"
#include "platform/snmp/service_trap.h"

namespace varnel {
namespace snmp {
class SnmpManager;
class SnmpAgent;
}  // namespace snmp

constexpr int kTrapQueueSlots = 300;
constexpr int kTrapVariables = 20;
constexpr int kTrapDefinitions = 200;

// One variable of a received trap; the type is the type code as decimal text.
struct InTrapVar {
  std::string varOid;
  std::string varValue;  // as received: OctetString bytes one character per byte
  std::string varType;
};

// One slot of the trap queue.
struct InTrapSlot {
  std::string InTrapOid;
  std::string InTrapSourceAgent;
  std::string InTrapSourceNetwork;
  std::string InTrapTime;
  std::string InTrapCommunityName;
  std::string InTrapSysUpTime;
  Slots<InTrapVar, kTrapVariables> InTrapVarList;  // 1..20
};

// One variable of a trap definition, parsed from the columns Var1 to Var20.
struct TrapDefinitionVar {
  std::string varOid;
  std::string varName;
  std::string varType;
};

// One trap definition of Event_SNMP_MibTrap.
struct TrapDefinition {
  std::string SnmpTrapOid;
  std::string SnmpTrapName;
  Slots<TrapDefinitionVar, kTrapVariables> SnmpTrapVarList;  // 1..20
  bool SnmpTrapLogEvent = false;
  std::string SnmpTrapPriority;
  std::string SnmpTrapNodeName;
  std::string SnmpTrapMessage;
};

struct SnmpState {
  SnmpState();
  ~SnmpState();

  // Made with the context (their types are complete only where the sockets are used).
  std::unique_ptr<snmp::SnmpManager> manager;  // the trap server
  std::unique_ptr<snmp::SnmpAgent> agent;  // requests, and the sender of the service's own traps

  // Trap server settings, loaded when it starts.
  std::string TrapServerCommunity;
  bool SkipTrapsNotDef = false;

  // Trap queue: slots 1..300, InTrapIndex the next free one (1 = empty).
  HeapSlots<InTrapSlot> InTrap;
  std::int16_t InTrapIndex = 1;
  std::uint64_t InTrapDropped = 0;      // traps lost to a full queue since the last drain
  // A second queue of the same size: a drain swaps it with InTrap in one step, and the
  // strings of both keep their storage, so a busy queue does not allocate per trap.
  HeapSlots<InTrapSlot> InTrapSpare;
  std::uint64_t MalformedReported = 0;  // malformed datagrams already reported

  // Trap definitions 1..200; an empty SnmpTrapOid ends the list.
  HeapSlots<TrapDefinition> SnmpTrap;

  // Agent settings, loaded when the agent starts.
  std::string AgentGetCommunity;
  std::string AgentSetCommunity;
  std::string AgentSysContact;
  std::string AgentSysName;
  std::string AgentSysLocation;

  // Trap destinations read from the settings, by "table.switch column"; emptied when the
  // settings are re-read, so a message costs no database read.
  std::map<std::string, snmp::TrapTarget> TrapTargets;
};

}  // namespace varnel
