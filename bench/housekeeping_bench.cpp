// The daily housekeeping on 100,000 old rows in each of the five log tables: wall time and
// peak memory of DeleteOldLogEntries, and of sqlite3's own export (.once) and DELETE of the
// same rows on the same file. sqlite3 neither formats the times nor syncs its export.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <benchmark/benchmark.h>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "maintenance/delete_old_log_entries.h"
#include "platform/database.h"
#include "support/program_home.h"

extern char** environ;

namespace varnel {
namespace {

constexpr int kRows = 100000;
constexpr const char* kCutoff = "2026-05-27";  // DelOldLogDays 30 on 2026-06-26

// Every row of every log table dated in May, with texts of a usual length.
constexpr const char* kFill = R"(
DELETE FROM LogFiles_Event; DELETE FROM LogFiles_Alarm; DELETE FROM LogFiles_ReqAck;
DELETE FROM LogFiles_Action; DELETE FROM LogFiles_Maintenance;
CREATE TEMP TABLE n AS WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM c
  WHERE i < 100000) SELECT i, printf('2026-05-%02d %02d:%02d:%02d', 1 + i % 26, i % 24,
  i % 60, i % 59) AS t FROM c;
INSERT INTO LogFiles_Event SELECT 605000000 + i, t, '2 - Major', 'router-' || i,
  'Interface GigabitEthernet0/' || i || ' changed state to down', 'Syslog' FROM n;
INSERT INTO LogFiles_Alarm SELECT 605000000 + i, t, 'Operations on call',
  'router-' || i || ', 2 - Major, Interface changed state to down',
  'GSM: Message sent to receiver.', 1, 'PhoneMO' FROM n;
INSERT INTO LogFiles_ReqAck SELECT 605000000 + i, t, 901 + i % 99, '+4670' || i, 3,
  'Problem solved' FROM n;
INSERT INTO LogFiles_Action SELECT i, i, t, t, 'Core router replaced', 'Service restored',
  'js', 'Closed' FROM n;
INSERT INTO LogFiles_Maintenance SELECT i, t, t, 'Firmware upgrade', 'Short outage', 'js'
  FROM n;
DROP TABLE n;
UPDATE Settings_General SET DelOldLogDays = 30;
)";

class Housekeeping : public testing::ProgramHome {
 public:
  void Fill() {
    Database(ctx.DatabasePath()).Exec(kFill);
    testing::RemoveTree(ctx.Path("Backup"));
    std::filesystem::create_directory(ctx.Path("Backup"));
  }
  void Run() { DeleteOldLogEntries(ctx); }
  const char* Error() const { return log.entries.empty() ? nullptr : log.entries[0].text.c_str(); }
  // Runs sqlite3 on the database with script as its input; its peak memory in KiB, or -1.
  long RunSqlite3(const std::string& script) {
    const std::string input = dir + "/script.sql";
    std::ofstream(input) << script;
    posix_spawn_file_actions_t io;
    posix_spawn_file_actions_init(&io);
    posix_spawn_file_actions_addopen(&io, 0, input.c_str(), O_RDONLY, 0);
    const std::string db = ctx.DatabasePath();
    char* argv[] = {const_cast<char*>("sqlite3"), const_cast<char*>("-batch"),
                    const_cast<char*>(db.c_str()), nullptr};
    pid_t pid;
    int rc = posix_spawnp(&pid, "sqlite3", &io, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&io);
    if (rc != 0) return -1;
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? usage.ru_maxrss : -1;
  }
};

// The same export and delete, table by table, in sqlite3's own commands.
std::string Sqlite3Script(const std::string& backup) {
  static const char* const kTables[][3] = {
      {"LogFiles_Event", "Event",
       "\"Index\", DateAndTime, Priority, NodeName, Message, "
       "EventSource"},
      {"LogFiles_Alarm", "Alarm",
       "\"Index\", DateAndTime, Receiver, Message, SendStatus, "
       "SendStatusInt"},
      {"LogFiles_ReqAck", "ReqAck", "Indexx, DateAndTime, AlarmID, Receiver, AckStatus, AckInfo"},
      {"LogFiles_Action", "Action",
       "\"Index\", CaseNr, DateAndTime, EstimatedOK, "
       "MessageInternal, MessageExternal, Signature, CaseStatus"},
      {"LogFiles_Maintenance", "Maintenance",
       "\"Index\", DateAndTime, EstimatedOK, "
       "MessageInternal, MessageExternal, Signature"}};
  std::string s = ".mode tabs\n.headers on\n";
  const std::string where = std::string(" WHERE DateAndTime < '") + kCutoff + "';\n";
  for (const auto& t : kTables) {
    s += ".once " + backup + "/" + t[1] + "_old.txt\n";
    s += std::string("SELECT ") + t[2] + " FROM " + t[0] + where;
    s += std::string("DELETE FROM ") + t[0] + where;
  }
  return s;
}

// Peak resident memory of this process since the last reset, in KiB.
long PeakKiB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}
void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

void BM_DeleteOldLogEntries(benchmark::State& state) {
  Housekeeping h;
  for (auto _ : state) {
    h.Fill();
    ResetPeak();
    state.counters["rss_before_MiB"] = static_cast<double>(PeakKiB()) / 1024;
    auto start = std::chrono::steady_clock::now();
    h.Run();
    state.SetIterationTime(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    state.counters["peak_MiB"] = static_cast<double>(PeakKiB()) / 1024;
  }
  if (h.Error()) state.SkipWithError(h.Error());
}
BENCHMARK(BM_DeleteOldLogEntries)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_Sqlite3OnceAndDelete(benchmark::State& state) {
  Housekeeping h;
  const std::string script = Sqlite3Script(h.ctx.Path("Backup"));
  for (auto _ : state) {
    h.Fill();
    auto start = std::chrono::steady_clock::now();
    long peak = h.RunSqlite3(script);
    state.SetIterationTime(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    if (peak < 0) {
      state.SkipWithError("sqlite3 failed or is not installed");
      break;
    }
    state.counters["peak_MiB"] = static_cast<double>(peak) / 1024;
  }
}
BENCHMARK(BM_Sqlite3OnceAndDelete)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace varnel
