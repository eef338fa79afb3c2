#include "admin/reload.h"

#include <iostream>

#include "admin/agent_client.h"
#include "admin/program_dir.h"
#include "agent/mib.h"

namespace varnel::admin {

int RunReload(const Args& args) {
  if (args.size() != 1) throw BadInput("usage: varnel-admin reload DIR");
  const AgentAddress agent = ReadAgentAddress(*OpenProgramDatabase(args[0]));
  if (!agent.enabled)
    throw BadInput("the SNMP agent of " + args[0] +
                   " is not enabled (Settings_SNMP_Agent Enabled), so the service cannot be asked");
  const std::string where = agent.host + ":" + std::to_string(agent.port);
  auto status = AgentClient(agent).SetInteger(MibBaseOid(kUpdateRequest),
                                              static_cast<int>(UpdateRequestCode::Reread));
  if (!status) {
    std::cerr << "varnel-admin reload: the service does not answer on " << where
              << " (is it running, and is SetComm its Set community?)\n";
    return kExitNoService;
  }
  if (*status != snmp::es::kNoError) {
    std::cerr << "varnel-admin reload: the agent on " << where << " refused the request (error "
              << *status << "; is SetComm right?)\n";
    return kExitFailed;
  }
  std::cout << "The service on " << where << " reads its configuration again\n";
  return kExitOk;
}

}  // namespace varnel::admin
