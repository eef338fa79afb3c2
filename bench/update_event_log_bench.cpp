// Time of writing one cycle's full event list (300 events) to the event log.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <asio/io_context.hpp>
#include <filesystem>

#include "admin/init.h"
#include "platform/database.h"
#include "service/update_event_log.h"

namespace {

void BM_UpdateEventLog300(benchmark::State& state) {
  std::string dir = (std::filesystem::temp_directory_path() / "varnel-bench-XXXXXX").string();
  if (!mkdtemp(dir.data())) {
    state.SkipWithError("mkdtemp failed");
    return;
  }
  varnel::InitProgramDir(dir + "/home", false);
  asio::io_context io;
  varnel::FakeClock clock;
  clock.Set("2026-06-26 10:00:00");
  varnel::MemoryEventLog log;
  varnel::Varnel ctx(io, clock, log, dir + "/home");
  for (int i = 0; i < varnel::kMaxEvents; ++i)
    ctx.events.Append("2026-06-26 09:59:59", varnel::kMajor, "router-" + std::to_string(i),
                      "Interface GigabitEthernet0/" + std::to_string(i) + " changed state to down",
                      varnel::kSourceSyslog);
  for (auto _ : state) {
    state.PauseTiming();
    {
      varnel::Database db(ctx.DatabasePath());
      db.Exec("UPDATE Settings_General SET LogIndexEvent = 1; DELETE FROM LogFiles_Event;");
    }
    state.ResumeTiming();
    varnel::UpdateEventLog(ctx);
  }
  if (!log.entries.empty()) state.SkipWithError(log.entries[0].text.c_str());
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_UpdateEventLog300)->Unit(benchmark::kMillisecond);

}  // namespace

