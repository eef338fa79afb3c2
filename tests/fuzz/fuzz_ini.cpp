// Fuzz target: the ini reader on arbitrary file contents.
#include <cstdint>

#include "service/ini.h"
#include "support/program_home.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static varnel::testing::ProgramHome home;
  varnel::testing::WriteBytes(home.ctx.Path("Varnel.ini"), data, size);
  home.log.entries.clear();
  varnel::Varnel_ini(home.ctx);
  return 0;
}
