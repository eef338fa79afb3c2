// The objects the agent serves: MIB-II's system group and the private objects under the
// service's private arc, in the order GetNext walks them (which is also OID order).
#pragma once
#include <string>

#include "platform/snmp/service_trap.h"
#include "platform/snmp/snmp_message.h"
#include "service/varnel.h"

namespace varnel {

enum MibObject {
  kSysDescr,
  kSysObjectId,
  kSysUpTime,
  kSysContact,
  kSysName,
  kSysLocation,
  kSysServices,
  kRunState,          // P.1.1.1
  kSecondsToCheck,    // P.1.1.2
  kActivity,          // P.1.1.3
  kStatusText,        // P.1.1.4
  kUpdateRequest,     // P.1.2.1
  kErrorCount,        // P.1.4.1
  kLastError,         // P.1.4.2
  kTrapServerStatus,  // P.1.5.1 .. P.1.5.7: ListenerStatus 1..7
  kCommPortStatus,
  kLogFileStatus,
  kSysLog1Status,
  kSysLog2Status,
  kSmtpServerStatus,
  kSmsServerStatus,
  kMibObjects
};

// The run state and update request as the agent reports them: a request that waits for the
// running cycle to end counts already.
ServiceStateCode RequestedServiceState(const Varnel& ctx);
UpdateRequestCode RequestedUpdateRequest(const Varnel& ctx);

// Base OID of an object ("1.3.6.1.2.1.1.1"); its instance is the base OID and ".0".
const std::string& MibBaseOid(int object);
// Type code of the object's value.
int MibType(int object);

// The object whose base OID or ".0" instance oid is; -1 for any other OID.
int FindMibObject(const std::string& oid);
// The first object whose ".0" instance comes after oid in OID order; -1 after the last one.
int NextMibObject(const std::string& oid);
// The object's current value, named by its ".0" instance.
snmp::Variable ReadMibObject(const Varnel& ctx, int object);

}  // namespace varnel
