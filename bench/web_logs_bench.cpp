// Time of the web step of a cycle in which a log changed: the pages rendered from logs of
// 3000 event rows and 3000 alarm rows, then the upload settings read (upload switched off).
#include <benchmark/benchmark.h>

#include "platform/database.h"
#include "support/program_home.h"
#include "web/ftp_log_files.h"
#include "web/log_pages.h"

namespace varnel {
namespace {

constexpr int kRows = 3000;

class WebRun : testing::ProgramHome {
 public:
  // entriesLog: rows on each log's own page (the overview shows the layout's 5).
  explicit WebRun(int entriesLog) {
    Database db(ctx.DatabasePath());
    db.Begin();
    {
      Table e = db.Open("LogFiles_Event");
      Table a = db.Open("LogFiles_Alarm");
      for (int i = 1; i <= kRows; ++i) {
        e.AddNew();
        e.Set("Index", std::int64_t{20260626000} + i);
        e.Set("DateAndTime", "2026-06-26 09:59:59");
        e.Set("Priority", "2 - Major");
        e.Set("NodeName", "router-" + std::to_string(i));
        e.Set("Message", "Interface GigabitEthernet0/" + std::to_string(i) + " changed state");
        e.Update();
        a.AddNew();
        a.Set("Index", std::int64_t{20260626000} + i);
        a.Set("DateAndTime", "2026-06-26 10:00:01");
        a.Set("Receiver", "Operator " + std::to_string(i % 7));
        a.Set("Message", "<ID=905> router-" + std::to_string(i) + " link down");
        a.Set("SendStatusInt", i % 3 + 1);
        a.Update();
      }
    }
    db.Commit();
    db.Exec("UPDATE LogFiles_WebLayout SET EventEntriesLog = " + std::to_string(entriesLog) +
            ", AlarmEntriesLog = " + std::to_string(entriesLog));
  }
  void Cycle() {
    WebLogs(ctx);
    FtpLogFiles(ctx);
  }
  const char* Error() const { return log.entries.empty() ? nullptr : log.entries[0].text.c_str(); }
};

void BM_WebStep(benchmark::State& state) {
  WebRun run(static_cast<int>(state.range(0)));
  for (auto _ : state) run.Cycle();
  if (run.Error()) state.SkipWithError(run.Error());
}
// The administration program's default page length, and every row on the log pages.
BENCHMARK(BM_WebStep)->Arg(100)->Arg(kRows)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace varnel
