// Names and a message builder shared by the tests of the SNMP codec, agent and trap intake.
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "platform/snmp/snmp_message.h"

namespace varnel::testing {

using Texts = std::vector<std::string>;
using snmp::Message;
using snmp::Variable;
namespace vt = snmp::vt;
namespace es = snmp::es;

// A v2c message of this PDU type and community from 127.0.0.1.
inline Message V2c(int pduType, std::vector<Variable> vars, const std::string& community = "") {
  Message m;
  m.version = snmp::kVersion2c;
  m.pduType = pduType;
  m.community = community;
  m.variables = std::move(vars);
  m.senderAddress = "127.0.0.1";
  return m;
}

}  // namespace varnel::testing
