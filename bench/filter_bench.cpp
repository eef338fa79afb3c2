// The support group filter at full load, and the wildcard matcher against glibc fnmatch.
#include <fnmatch.h>

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "filter/supp_group.h"
#include "filter/wildcard.h"
#include "platform/clock.h"
#include "platform/database.h"
#include "platform/event_log.h"
#include "service/varnel.h"
#include "support/program_home.h"

namespace varnel {
namespace {

const char* const kDevices[] = {"sw", "rt", "fw", "ap", "srv", "ups"};
const char* const kMessages[] = {
    "%LINK-3-UPDOWN: Interface GigabitEthernet0/%d, changed state to down",
    "%LINK-3-UPDOWN: Interface GigabitEthernet0/%d, changed state to up",
    "Fan %d failure detected, speed below threshold",
    "Temperature sensor %d critical: 78 C",
    "BGP neighbor 10.0.%d.1 went from Established to Idle",
    "Power supply %d input lost",
    "User admin logged in from 192.168.1.%d",
    "Disk /dev/sd%d usage 97 percent",
    "Authentication failure for user root from 10.1.1.%d",
    "Configuration saved by operator on vty%d"};

std::string Format(const char* fmt, int n) {
  char buf[256];
  std::snprintf(buf, sizeof buf, fmt, n);
  return buf;
}

// Node name of the i-th generated event or text: site, device kind and number.
std::string NodeName(std::mt19937& rng) {
  return "site" + std::to_string(rng() % 40) + "-" + kDevices[rng() % 6] + "-" +
         std::to_string(rng() % 100);
}

// 255 enabled groups on duty all week, each with ten node and ten message patterns.
class FilterRun : testing::ProgramHome {
 public:
  FilterRun() {
    Database db(ctx.DatabasePath());
    {
      Table f = db.Open("Event_CheckInterval");
      for (const char* c : {"SendDate", "SendTime", "SendNodeName", "SendPriority", "SendMessage"})
        f.Set(c, true);
      f.Set("SendNodeNameMaxChar", 50);
      f.Set("SendMessageMaxChar", 200);
      f.Update();
    }
    db.Begin();
    Table t = db.Open("SuppGrp_Perm");
    for (int g = 0; g < 255; ++g) {
      t.AddNew();
      t.Set("Name", "group" + std::to_string(g));
      t.Set("Enabled", true);
      for (const char* d : {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"})
        t.Set(std::string("DutyTime") + d, 16777215);
      t.Set("Priority", "4 - Warning");
      t.Set("PrioritySearch", "<=");
      // Nine site-specific patterns that rarely match, then one by device kind.
      std::string node;
      for (int p = 0; p < 9; ++p)
        node += "site" + std::to_string((g + p * 7) % 40) + "-" + kDevices[p % 6] + "-?#<OR>";
      node += std::string("*-") + kDevices[g % 6] + "-*";
      t.Set("NodeName", node);
      t.Set("NodeNameSearch", "=");
      std::string message;
      const char* words[] = {"*bgp*idle*",
                             "*power supply*lost",
                             "*disk*9# percent",
                             "*authentication failure*",
                             "*fan [0-9]*fail*",
                             "*temperature*critical*",
                             "*[!a-z]changed state to down",
                             "%LINK-?-UPDOWN:*down",
                             "*configuration saved*",
                             "*logged in*"};
      for (int p = 0; p < 10; ++p)
        message += std::string(words[(g + p) % 10]) + (p < 9 ? "<OR>" : "");
      t.Set("Message", message);
      t.Set("MessageSearch", "=");
      t.Set("CaseSensitive", g % 4 == 0);
      for (int r = 1; r <= 5; ++r) {
        t.Set("RecvName" + std::to_string(r), r == 1 ? "duty" + std::to_string(g) : "None");
        t.Set("RecvType" + std::to_string(r), "PhoneMO");
      }
      t.Update();
    }
    db.Commit();

    std::mt19937 rng(42);
    const char* priorities[] = {"1 - Critical", "2 - Major", "3 - Minor", "4 - Warning",
                                "5 - Normal"};
    for (int i = 0; i < 300; ++i)
      events_.push_back({"2026-06-26 10:14:" + std::to_string(10 + i % 50), priorities[rng() % 5],
                         NodeName(rng), Format(kMessages[rng() % 10], static_cast<int>(rng() % 48)),
                         "Syslog"});
  }
  void Run() {
    ctx.events.Clear();
    for (const InEvent& e : events_)
      ctx.events.Append(e.DateAndTime, e.Priority, e.Name, e.Message, e.EventSource);
    SuppGroupCheck(ctx);
  }
  int Matched() const {
    int n = 0;
    for (int k = 1; k <= kMaxSuppGroups; ++k) n += ctx.filter.SuppGrp[k].Free() ? 0 : 1;
    return n;
  }
  int Errors() const { return ctx.ErrorCount; }

 private:
  std::vector<InEvent> events_;
};

void BM_SuppGroupCheck(benchmark::State& state) {
  FilterRun run;
  for (auto _ : state) run.Run();
  state.counters["groups_matched"] = run.Matched();
  if (run.Errors() != 0) state.SkipWithError("SuppGroupCheck reported errors");
}
BENCHMARK(BM_SuppGroupCheck)->Unit(benchmark::kMillisecond);

// Texts and patterns that both languages read the same: *, ?, [a-z] and [!...] only.
struct Corpus {
  std::vector<std::string> texts;
  std::vector<std::string> patterns = {"*link*down*",
                                       "%LINK-?-UPDOWN:*gigabitethernet0/[0-3]*",
                                       "*fan ? failure*",
                                       "site1?-sw-*",
                                       "*temperature*critical*",
                                       "*[!a-z]changed state to down",
                                       "*from 10.1.1.??",
                                       "bgp neighbor*idle",
                                       "*disk*usage 9? percent",
                                       "*power*supply*input*lost*"};
  Corpus() {
    std::mt19937 rng(7);
    for (int i = 0; i < 10000; ++i) {
      std::string t = rng() % 3 == 0 ? NodeName(rng) + " " : std::string();
      t += Format(kMessages[rng() % 10], static_cast<int>(rng() % 48));
      texts.push_back(t);
    }
  }
};
const Corpus& TheCorpus() {
  static const Corpus c;
  return c;
}

void BM_WildcardCompiled(benchmark::State& state) {
  const Corpus& c = TheCorpus();
  std::vector<WildcardPattern> compiled;
  for (const auto& p : c.patterns) compiled.emplace_back(p, CaseMode::Text);
  long matches = 0;
  for (auto _ : state) {
    matches = 0;
    for (const auto& t : c.texts)
      for (const auto& p : compiled) matches += p.Matches(t);
    benchmark::DoNotOptimize(matches);
  }
  state.counters["matches"] = static_cast<double>(matches);
  state.SetItemsProcessed(state.iterations() *
                          static_cast<long>(c.texts.size() * c.patterns.size()));
}
BENCHMARK(BM_WildcardCompiled)->Unit(benchmark::kMillisecond);

// StringCompareText as other subsystems call it: pattern text in, compiled form from the cache.
void BM_StringCompareText(benchmark::State& state) {
  const Corpus& c = TheCorpus();
  asio::io_context io;
  FakeClock clock;
  MemoryEventLog log;
  Varnel ctx(io, clock, log, "/nonexistent");
  long matches = 0;
  for (auto _ : state) {
    matches = 0;
    for (const auto& t : c.texts)
      for (const auto& p : c.patterns) matches += StringCompareText(ctx, t, p);
    benchmark::DoNotOptimize(matches);
  }
  state.counters["matches"] = static_cast<double>(matches);
  state.SetItemsProcessed(state.iterations() *
                          static_cast<long>(c.texts.size() * c.patterns.size()));
}
BENCHMARK(BM_StringCompareText)->Unit(benchmark::kMillisecond);

// Compiling the pattern for every single compare (WildcardMatch without a cache).
void BM_WildcardUncached(benchmark::State& state) {
  const Corpus& c = TheCorpus();
  long matches = 0;
  for (auto _ : state) {
    matches = 0;
    for (const auto& t : c.texts)
      for (const auto& p : c.patterns) matches += WildcardMatch(t, p, CaseMode::Text);
    benchmark::DoNotOptimize(matches);
  }
  state.counters["matches"] = static_cast<double>(matches);
  state.SetItemsProcessed(state.iterations() *
                          static_cast<long>(c.texts.size() * c.patterns.size()));
}
BENCHMARK(BM_WildcardUncached)->Unit(benchmark::kMillisecond);

void BM_Fnmatch(benchmark::State& state) {
  const Corpus& c = TheCorpus();
  long matches = 0;
  for (auto _ : state) {
    matches = 0;
    for (const auto& t : c.texts)
      for (const auto& p : c.patterns)
        matches += ::fnmatch(p.c_str(), t.c_str(), FNM_CASEFOLD) == 0;
    benchmark::DoNotOptimize(matches);
  }
  state.counters["matches"] = static_cast<double>(matches);
  state.SetItemsProcessed(state.iterations() *
                          static_cast<long>(c.texts.size() * c.patterns.size()));
}
BENCHMARK(BM_Fnmatch)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace varnel
