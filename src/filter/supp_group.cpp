#include "filter/supp_group.h"

#include <optional>
#include <vector>

#include "filter/duty_time.h"
#include "filter/group_text.h"
#include "filter/hold_queue.h"
#include "filter/wildcard.h"
#include "platform/error.h"
#include "platform/files.h"
#include "service/errors.h"

namespace varnel {
namespace {

// The correlation columns of a group row.
struct Correlation {
  bool SkipDupEvent;
  std::string CriteriaDupEvent, PriorityUp, PrioritySearchUp;
  int HoldTimer;
  bool SendMessFirstDown, SendUpNotInQueue;

  explicit Correlation(Table& t)
      : SkipDupEvent(t.Flag("SkipDupEvent")),
        CriteriaDupEvent(t.Text("CriteriaDupEvent")),
        PriorityUp(t.Text("PriorityUp")),
        PrioritySearchUp(t.Text("PrioritySearchUp")),
        HoldTimer(t.Int16("HoldTimer")),
        SendMessFirstDown(t.Flag("SendMessFirstDown")),
        SendUpNotInQueue(t.Flag("SendUpNotInQueue")) {}
};

struct RunContext {
  Varnel& ctx;
  Table& checkInterval;
  LocalTime now;
  std::optional<MessageFormat> format;

  const MessageFormat& Format() {
    if (!format) format = ReadMessageFormat(checkInterval);
    return *format;
  }
};

// Runs every event of the list against one enabled, on-duty group and fills its entry.
void CheckGroup(RunContext& run, Table& group, SuppGroupEntry& entry) {
  Varnel& ctx = run.ctx;
  const std::string name = group.Text("Name");
  const std::string priority = group.Text("Priority");
  const std::string prioritySearch = group.Text("PrioritySearch");
  const CaseMode mode = group.Flag("CaseSensitive") ? CaseMode::Binary : CaseMode::Text;
  const PatternList node(ctx, group.Text("NodeName"), group.Text("NodeNameSearch"), mode);
  const PatternList message(ctx, group.Text("Message"), group.Text("MessageSearch"), mode);
  const bool correlation = group.Flag("Correlation");
  std::optional<Correlation> corr;
  bool matched = false;

  for (int i = 1; i <= ctx.events.Count(); ++i) {
    const InEvent& ev = ctx.events[i];
    if (!PriorityCondition(ev.Priority, priority, prioritySearch) || !node.Holds(ev.Name) ||
        !message.Holds(ev.Message))
      continue;

    if (correlation) {
      if (!corr) corr.emplace(group);
      if (corr->SkipDupEvent &&
          TestForDuplicate_Hq(ctx, name, corr->CriteriaDupEvent, ev.Priority, ev.Name, ev.Message))
        continue;  // neither sent nor held again
      if (PriorityCondition(ev.Priority, corr->PriorityUp, corr->PrioritySearchUp)) {
        // An up event with a held down is left to the hold queue.
        if (!corr->SendUpNotInQueue || TestForName_Hq(ctx, name, ev.Name)) continue;
      } else {
        AppendLines(ctx.Path(kHoldQueueFile),
                    {FormatHoldQueueLine(HoldEvent(name, run.now, corr->HoldTimer, ev.DateAndTime,
                                                   ev.Priority, ev.Name, ev.Message))});
        if (!corr->SendMessFirstDown) continue;
      }
    }

    if (!matched) {
      FillGroupEntry(entry, group);
      matched = true;
    }
    AppendGroupText(
        entry, ComposeEventText(run.Format(), ev.DateAndTime, ev.Name, ev.Priority, ev.Message));
  }

  FinishGroupText(entry, kMaxGroupTextChars, kMaxGroupTextChars);
  if (!entry.Free() && group.Flag("ReqAck")) {
    ctx.ReqAckIdCounter = NextReqAckId(ctx.ReqAckIdCounter);
    AppendLines(ctx.Path(kReqAckFile),
                {AckRequest(entry, ctx.ReqAckIdCounter, run.now, group.Int16("ReqAckWait"),
                            group.Int16("ReqAckMaxRem"))});
  }
}

}  // namespace

void SuppGroupCheck(Varnel& ctx) {
  Guarded(ctx, "SuppGroupCheck", [&] {
    SuppGroupTable& table = ctx.filter.SuppGrp;
    for (auto& e : table) e = SuppGroupEntry{};
    Database db = OpenDatabase(ctx);
    Table groups = db.Open("SuppGrp_Perm");
    if (groups.Eof()) return;
    Table checkInterval = db.Open("Event_CheckInterval");
    RunContext run{ctx, checkInterval, ctx.clock.Now(), std::nullopt};
    const std::string dutyColumn = DutyTimeColumn(run.now.weekday);

    // Entry k belongs to the k-th group that is enabled and on duty now.
    int k = 0;
    for (; !groups.Eof(); groups.MoveNext()) {
      const bool onDuty = DutyTimeCheck(ctx.clock, groups.Int32(dutyColumn));
      if (!groups.Flag("Enabled") || !onDuty) continue;
      if (++k > kMaxSuppGroups) throw VarnelError(err::kSubscript, "Subscript out of range");
      CheckGroup(run, groups, table[k]);
    }
    TraceGroupTable(ctx, "Support Groups", "SuppGrp", table);
  });
}

}  // namespace varnel
