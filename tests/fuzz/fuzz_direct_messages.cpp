// Fuzz target: the readers of the direct-message drop files "SnmpMess.log" and
// "SmtpMess.log" on arbitrary file contents. Nothing is sent: the transport is a stand-in.
#include <cstdint>

#include "delivery/direct_messages.h"
#include "support/program_home.h"

namespace {
void Refuse(varnel::Varnel&, varnel::SendEntry& e) { e.RecvSendStatusInt = varnel::kSendFailed; }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static varnel::testing::ProgramHome home;
  for (const char* name : {"SnmpMess.log", "SmtpMess.log"})
    varnel::testing::WriteBytes(home.ctx.Path(name), data, size);
  home.log.entries.clear();
  // A file of many lines takes several rounds, as it takes several cycles.
  for (int round = 0; round < 3; ++round) {
    varnel::ProcessSnmpMessage(home.ctx, Refuse);
    varnel::ProcessSmtpMessage(home.ctx, Refuse);
  }
  return 0;
}
