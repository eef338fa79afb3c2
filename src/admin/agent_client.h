// The tool's side of the service's SNMP agent: where the agent listens, as its settings row
// says, and one request with its answer over UDP on loopback.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "platform/database.h"
#include "platform/snmp/snmp_message.h"

namespace varnel::admin {

struct AgentAddress {
  bool enabled = false;
  std::string host;  // the listening address; a wildcard address means loopback
  int port = 0;
  std::string getCommunity;
  std::string setCommunity;
};

// The agent's settings from Settings_SNMP_Agent.
AgentAddress ReadAgentAddress(Database& db);

class AgentClient {
 public:
  explicit AgentClient(AgentAddress address, int timeoutMs = 1000, int tries = 3)
      : address_(std::move(address)), timeoutMs_(timeoutMs), tries_(tries) {}

  // Get of the objects' ".0" instances with the get community; nothing when the agent does
  // not answer, answers with an error or answers something else.
  std::optional<std::vector<snmp::Variable>> Get(const std::vector<std::string>& oids) const;
  // Set of one Integer object with the set community: the agent's error status, nothing when
  // it does not answer.
  std::optional<int> SetInteger(const std::string& oid, int value) const;

 private:
  std::optional<snmp::Message> Exchange(snmp::Message request) const;

  AgentAddress address_;
  int timeoutMs_;
  int tries_;
};

}  // namespace varnel::admin
