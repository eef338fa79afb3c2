// Time of writing one cycle's full event list (300 events) to the event log, and of the
// alarm log's rows, each committed on its own as the delivery attempts are made.
#include <benchmark/benchmark.h>

#include "delivery/alarm_log.h"
#include "platform/database.h"
#include "service/update_event_log.h"
#include "support/program_home.h"

namespace varnel {
namespace {

class EventLogRun : testing::ProgramHome {
 public:
  EventLogRun() {
    for (int i = 0; i < kMaxEvents; ++i)
      ctx.events.Append(
          "2026-06-26 09:59:59", kMajor, "router-" + std::to_string(i),
          "Interface GigabitEthernet0/" + std::to_string(i) + " changed state to down",
          kSourceSyslog);
  }
  void Reset() {
    Database db(ctx.DatabasePath());
    db.Exec("UPDATE Settings_General SET LogIndexEvent = 1; DELETE FROM LogFiles_Event;");
  }
  void Write() { UpdateEventLog(ctx); }
  const char* Error() const { return log.entries.empty() ? nullptr : log.entries[0].text.c_str(); }
};

void BM_UpdateEventLog300(benchmark::State& state) {
  EventLogRun run;
  for (auto _ : state) {
    state.PauseTiming();
    run.Reset();
    state.ResumeTiming();
    run.Write();
  }
  if (run.Error()) state.SkipWithError(run.Error());
  state.SetItemsProcessed(state.iterations() * kMaxEvents);
}
BENCHMARK(BM_UpdateEventLog300)->Unit(benchmark::kMillisecond);

// 100 delivery attempts, a row (and its commit) each.
void BM_UpdateAlarmLog100(benchmark::State& state) {
  testing::ProgramHome home;
  home.ctx.delivery.TestMessage = {"Anna", "MailSMTP", "Pump 3 failed", "1", "Sent"};
  for (auto _ : state) {
    state.PauseTiming();
    Database(home.ctx.DatabasePath())
        .Exec("UPDATE Settings_General SET LogIndexAlarm = 1; DELETE FROM LogFiles_Alarm;");
    state.ResumeTiming();
    for (int i = 0; i < 100; ++i) UpdateAlarmLog(home.ctx, 0, kTestMessage);
  }
  if (!home.log.entries.empty()) state.SkipWithError(home.log.entries[0].text.c_str());
  state.SetItemsProcessed(state.iterations() * 100);
}
BENCHMARK(BM_UpdateAlarmLog100)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace varnel
