// reload: asks the running service, through its own SNMP agent, to read its configuration
// again.
#pragma once
#include <optional>
#include <string>

#include "admin/command.h"
#include "platform/snmp/snmp_message.h"

namespace varnel::admin {

// The agent's address as the tool reaches it: loopback when it listens on every address.
struct AgentAddress {
  std::string host;
  int port = 0;
  std::string getCommunity, setCommunity;
};

// Where the agent of dir listens; raises BadInput when the agent is not enabled.
AgentAddress ReadAgentAddress(const std::string& dir);

// Sends request to the agent and waits for its response (three tries of a second each);
// nothing when the agent does not answer.
std::optional<snmp::Message> AskAgent(const AgentAddress& agent, snmp::Message request);

int RunReload(const Args& args);

}  // namespace varnel::admin
