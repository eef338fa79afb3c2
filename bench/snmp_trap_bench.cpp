// Trap intake throughput: datagrams decoded, queued and turned into event list entries.
#include <asio/io_context.hpp>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>

#include "admin/init.h"
#include "intake/snmp_trap_events.h"
#include "intake/snmp_trap_reception.h"
#include "platform/snmp/snmp_message.h"
#include "service/update_event_log.h"

namespace varnel {
namespace {

// A typical v2c trap: up time, trap OID, agent address and four variables.
std::string TrapDatagram(const std::string& trapOid, int n) {
  snmp::Message m;
  m.version = snmp::kVersion2c;
  m.community = "public";
  m.pduType = snmp::pdu::kTrapV2;
  m.requestId = n + 1;
  m.variables = {{"1.3.6.1.2.1.1.3.0", "123456", snmp::vt::kTimeTicks},
                 {"1.3.6.1.6.3.1.1.4.1.0", trapOid, snmp::vt::kObjectId},
                 {"1.3.6.1.6.3.18.1.3.0", "10.1.2.3", snmp::vt::kIpAddress},
                 {"1.3.6.1.2.1.2.2.1.1.7", std::to_string(n), snmp::vt::kInteger},
                 {"1.3.6.1.2.1.2.2.1.2.7", "GigabitEthernet0/7", snmp::vt::kOctetString},
                 {"1.3.6.1.2.1.2.2.1.8.7", "2", snmp::vt::kInteger},
                 {"1.3.6.1.4.1.9.2.2.1.1.20.7", "administratively down", snmp::vt::kOctetString}};
  return snmp::Encode(m);
}

struct Service {
  Service() : root(MakeRoot()), ctx(io, clock, log, root + "/home") {
    clock.Set("2026-06-26 10:15:00");
    ctx.DateFormat = "YYYY-MM-DD";
    ctx.DebugMode = "No Debug";
    ctx.snmp.TrapServerCommunity = "public";
    TrapDefinition& d = ctx.snmp.SnmpTrap[1];
    d.SnmpTrapOid = "1.3.6.1.6.3.1.1.5.3";
    d.SnmpTrapName = "linkDown";
    d.SnmpTrapLogEvent = true;
    d.SnmpTrapPriority = "$3";
    d.SnmpTrapNodeName = "$A";
    d.SnmpTrapMessage = "Interface $2 ($1) is $3: $4";
    d.SnmpTrapVarList[3].varType = "up(1),down(2),testing(3)";
  }
  ~Service() { std::filesystem::remove_all(root); }
  static std::string MakeRoot() {
    std::string t = (std::filesystem::temp_directory_path() / "varnel-bench-XXXXXX").string();
    if (!::mkdtemp(t.data())) std::abort();
    return t;
  }
  std::string root;
  asio::io_context io;
  FakeClock clock;
  MemoryEventLog log;
  Varnel ctx;
};

void BM_DecodeTrap(benchmark::State& state) {
  std::string d = TrapDatagram("1.3.6.1.6.3.1.1.5.3", 7);
  for (auto _ : state) benchmark::DoNotOptimize(snmp::Decode(d));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DecodeTrap);

// Decode, queue and drain batches of 300 traps (one full trap queue per cycle).
void TrapsToEvents(benchmark::State& state, const std::string& trapOid) {
  Service s;
  std::vector<std::string> datagrams;
  for (int i = 0; i < kTrapQueueSlots; ++i) datagrams.push_back(TrapDatagram(trapOid, i));
  for (auto _ : state) {
    for (const auto& d : datagrams) {
      auto m = snmp::Decode(d);
      m->senderAddress = "127.0.0.1";
      snmpManager_Trap(s.ctx, *m);
    }
    s.ctx.events.Clear();
    WriteSnmpTrapEventsToEventList(s.ctx);
    if (s.ctx.events.Count() != kTrapQueueSlots) state.SkipWithError("events lost");
  }
  state.SetItemsProcessed(state.iterations() * kTrapQueueSlots);
}

void BM_TrapsToEvents_Defined(benchmark::State& state) {
  TrapsToEvents(state, "1.3.6.1.6.3.1.1.5.3");
}
BENCHMARK(BM_TrapsToEvents_Defined)->Unit(benchmark::kMicrosecond);

void BM_TrapsToEvents_Generic(benchmark::State& state) {
  TrapsToEvents(state, "1.3.6.1.4.1.9.9.41.2.0.1");
}
BENCHMARK(BM_TrapsToEvents_Generic)->Unit(benchmark::kMicrosecond);

// The same, with the events written to the event log table as the cycle does.
void BM_TrapsToEventLog(benchmark::State& state) {
  Service s;
  InitProgramDir(s.ctx.ProgramDir, false);
  std::vector<std::string> datagrams;
  for (int i = 0; i < kTrapQueueSlots; ++i)
    datagrams.push_back(TrapDatagram("1.3.6.1.6.3.1.1.5.3", i));
  for (auto _ : state) {
    for (const auto& d : datagrams) {
      auto m = snmp::Decode(d);
      m->senderAddress = "127.0.0.1";
      snmpManager_Trap(s.ctx, *m);
    }
    s.ctx.events.Clear();
    WriteSnmpTrapEventsToEventList(s.ctx);
    UpdateEventLog(s.ctx);
    state.PauseTiming();
    {
      // The day's row counter would stop the log at 3000 rows; start each batch afresh.
      Database db(s.ctx.DatabasePath());
      db.Exec("DELETE FROM LogFiles_Event; UPDATE Settings_General SET LogIndexEvent = 1");
    }
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kTrapQueueSlots);
}
BENCHMARK(BM_TrapsToEventLog)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace varnel
