// Fuzz target: the Event.log drop-file reader on arbitrary file contents.
#include <unistd.h>

#include <asio/io_context.hpp>
#include <cstdint>
#include <cstdio>
#include <string>

#include "intake/event_log_file.h"
#include "platform/event_log.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static std::string dir = [] {
    char tmpl[] = "/tmp/varnel-fuzz-evt-XXXXXX";
    std::string d = mkdtemp(tmpl);
    return d;
  }();
  std::FILE* f = std::fopen((dir + "/Event.log").c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  asio::io_context io;
  varnel::FakeClock clock;
  varnel::MemoryEventLog log;
  varnel::Varnel ctx(io, clock, log, dir);
  ctx.DebugMode = "No Debug";
  varnel::WriteEventLogEventsToEventList(ctx);
  return 0;
}
