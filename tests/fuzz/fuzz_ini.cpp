// Fuzz target: the ini reader on arbitrary file contents.
#include <unistd.h>

#include <asio/io_context.hpp>
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/event_log.h"
#include "service/ini.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static std::string dir = [] {
    char tmpl[] = "/tmp/varnel-fuzz-ini-XXXXXX";
    return std::string(mkdtemp(tmpl));
  }();
  std::FILE* f = std::fopen((dir + "/Varnel.ini").c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  asio::io_context io;
  varnel::FakeClock clock;
  varnel::MemoryEventLog log;
  varnel::Varnel ctx(io, clock, log, dir);
  varnel::Varnel_ini(ctx);
  return 0;
}
