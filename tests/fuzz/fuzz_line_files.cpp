// Fuzz target: the Event.log drop-file reader and the ini reader, both on the same arbitrary
// file contents.
#include <cstdint>

#include "intake/event_log_file.h"
#include "service/ini.h"
#include "support/program_home.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static varnel::testing::ProgramHome home;
  for (const char* name : {"Event.log", "Varnel.ini"})
    varnel::testing::WriteBytes(home.ctx.Path(name), data, size);
  home.ctx.events.Clear();
  home.log.entries.clear();
  varnel::WriteEventLogEventsToEventList(home.ctx);
  varnel::Varnel_ini(home.ctx);
  return 0;
}
