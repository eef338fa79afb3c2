// The send list at full load: 255 matched groups of five receivers expanded into the send
// list, and the list delivered through a transport that only reports success, so what is
// measured is the look-ups, the splitting and the alarm log rows.
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "delivery/process_send_list.h"
#include "delivery/send_list.h"
#include "platform/clock.h"
#include "platform/database.h"
#include "platform/event_log.h"
#include "service/varnel.h"
#include "support/program_home.h"

namespace varnel {
namespace {

constexpr int kReceiversPerType = 50;

struct ReceiverType {
  const char* type;
  const char* table;
  const char* addressColumn;
};
constexpr ReceiverType kTypes[] = {
    {"PhoneMO", "Recv_Phone_MO", "PhoneNumber"},
    {"MailSMTP", "Recv_Mail_SMTP", "MailAddress"},
    {"PopupNetSend", "Recv_Popup_NETSEND", "WinAddress"},
    {"PagerNum", "Recv_Pager_Num", "PagerNumber"},
    {"PhoneDA", "Recv_Phone_Dialup", "PhoneNumber"},
};

void Delivered(Varnel&, SendEntry& e) {
  e.RecvSendStatusInt = 1;
  e.RecvSendStatus = "sent";
}

// 50 receivers of each of five types; every group names one of each, so the five slots of a
// group look in five tables, and the later receivers stand deeper in theirs.
class DeliveryRun : testing::ProgramHome {
 public:
  DeliveryRun() {
    Database db(ctx.DatabasePath());
    db.Begin();
    {
      Table f = db.Open("Event_CheckInterval");
      f.Set("OneMessOneEvent", true);
      f.Set("MaxMessages", 0);
      f.Update();
    }
    for (const ReceiverType& t : kTypes) {
      Table r = db.Open(t.table);
      for (int i = 0; i < kReceiversPerType; ++i) {
        r.AddNew();
        r.Set("Name", std::string(t.type) + "-" + std::to_string(i));
        r.Set("Enabled", true);
        for (const char* d : {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"})
          r.Set(std::string("DutyTime") + d, 16777215);
        r.Set(t.addressColumn, "addr" + std::to_string(i));
        r.Update();
      }
    }
    db.Commit();
    for (int g = 1; g <= kMaxSuppGroups; ++g) {
      SuppGroupEntry& e = ctx.filter.SuppGrp[g];
      e.Name = "group" + std::to_string(g);
      // Two events per group text, so every entry is delivered as two messages.
      e.Mess = "2026-06-26, 10:14:58, sw" + std::to_string(g) +
               ", 2 - Major, link down>>2026-06-26, 10:14:59, sw" + std::to_string(g) +
               ", 2 - Major, fan failure";
      for (int r = 0; r < kMaxGroupReceivers; ++r) {
        e.RecvType[r] = kTypes[r].type;
        e.RecvName[r] =
            std::string(kTypes[r].type) + "-" + std::to_string((g * 7 + r) % kReceiversPerType);
      }
    }
  }
  void ResetAlarmCounter() {
    Database db(ctx.DatabasePath());
    Table g = db.Open("Settings_General");
    g.Set("LogIndexAlarm", 0);
    g.Update();
  }
  void Make() { MakeSendList(ctx); }
  void Process() { ProcessSendList(ctx, Delivered); }
  int Filled() const {
    int n = 0;
    for (int i = 1; i <= kMaxSendList; ++i) n += ctx.delivery.SendList[i].Free() ? 0 : 1;
    return n;
  }
  int Errors() const { return ctx.ErrorCount; }
};

void BM_MakeSendList(benchmark::State& state) {
  DeliveryRun run;
  for (auto _ : state) run.Make();
  state.counters["entries"] = run.Filled();
  if (run.Errors() != 0) state.SkipWithError("errors were reported");
}
BENCHMARK(BM_MakeSendList)->Unit(benchmark::kMillisecond);

// 100 entries of two events each: 200 deliveries and 200 alarm log rows.
void BM_MakeAndProcessSendList(benchmark::State& state) {
  DeliveryRun run;
  for (auto _ : state) {
    state.PauseTiming();
    run.ResetAlarmCounter();  // keep every row under the daily cap
    state.ResumeTiming();
    run.Make();
    run.Process();
  }
  state.counters["entries"] = run.Filled();
  if (run.Errors() != 0) state.SkipWithError("errors were reported");
}
BENCHMARK(BM_MakeAndProcessSendList)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace varnel
