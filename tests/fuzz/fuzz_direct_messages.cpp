// Fuzz target: the direct-message drop-file readers on arbitrary file contents; the
// transport is a stand-in, so nothing is sent.
#include <cstdint>

#include "delivery/direct_messages.h"
#include "support/program_home.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static varnel::testing::ProgramHome home;
  for (const char* name : {"SnmpMess.log", "SmtpMess.log"})
    varnel::testing::WriteBytes(home.ctx.Path(name), data, size);
  home.log.entries.clear();
  auto refuse = [](varnel::Varnel&, varnel::SendEntry& e) { e.RecvSendStatusInt = 3; };
  for (int cycle = 0; cycle < 3; ++cycle) {  // a long file takes several cycles
    varnel::ProcessSnmpMessage(home.ctx, refuse);
    varnel::ProcessSmtpMessage(home.ctx, refuse);
  }
  return 0;
}
