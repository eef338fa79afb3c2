// Fuzz target: the Event.log drop-file reader on arbitrary file contents.
#include <cstdint>

#include "intake/event_log_file.h"
#include "support/program_home.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static varnel::testing::ProgramHome home;
  varnel::testing::WriteBytes(home.ctx.Path("Event.log"), data, size);
  home.ctx.events.Clear();
  home.log.entries.clear();
  varnel::WriteEventLogEventsToEventList(home.ctx);
  return 0;
}
