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
  GroupFilter filter(ctx, group);
  HoldQueueFile queue(ctx);
  bool matched = false;

  for (int i = 1; i <= ctx.events.Count(); ++i) {
    const InEvent& ev = ctx.events[i];
    const GroupFilter::Verdict verdict = filter.Judge(ev, queue);
    if (verdict.hold)
      AppendLines(ctx.Path(kHoldQueueFile), {FormatHoldQueueLine(filter.HoldEntry(run.now, ev))});
    if (verdict.decided != GroupCondition::Matched) continue;

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

GroupCondition GroupGate(const Clock& clock, Table& t) {
  const bool onDuty = DutyTimeCheck(clock, t.Int32(DutyTimeColumn(clock.Now().weekday)));
  if (!t.Flag("Enabled")) return GroupCondition::Disabled;
  return onDuty ? GroupCondition::Matched : GroupCondition::OffDuty;
}

GroupFilter::GroupFilter(Varnel& ctx, Table& group)
    : group_(group),
      name_(group.Text("Name")),
      priority_(group.Text("Priority")),
      prioritySearch_(group.Text("PrioritySearch")),
      node_(ctx, group.Text("NodeName"), group.Text("NodeNameSearch"),
            group.Flag("CaseSensitive") ? CaseMode::Binary : CaseMode::Text),
      message_(ctx, group.Text("Message"), group.Text("MessageSearch"),
               group.Flag("CaseSensitive") ? CaseMode::Binary : CaseMode::Text),
      correlation_(group.Flag("Correlation")) {}

const GroupFilter::Correlation& GroupFilter::Corr() {
  if (!corr_) {
    Table& t = group_;
    corr_ = Correlation{t.Flag("SkipDupEvent"),    t.Text("CriteriaDupEvent"),
                        t.Text("PriorityUp"),      t.Text("PrioritySearchUp"),
                        t.Int16("HoldTimer"),      t.Flag("SendMessFirstDown"),
                        t.Flag("SendUpNotInQueue")};
  }
  return *corr_;
}

GroupFilter::Verdict GroupFilter::Judge(const InEvent& ev, HeldEvents& queue) {
  if (!PriorityCondition(ev.Priority, priority_, prioritySearch_))
    return {GroupCondition::Priority, false};
  if (!node_.Holds(ev.Name)) return {GroupCondition::NodeFilter, false};
  if (!message_.Holds(ev.Message)) return {GroupCondition::MessageFilter, false};
  if (!correlation_) return {GroupCondition::Matched, false};

  const Correlation& c = Corr();
  if (c.SkipDupEvent &&
      queue.IsDuplicate(name_, c.CriteriaDupEvent, ev.Priority, ev.Name, ev.Message))
    return {GroupCondition::Duplicate, false};  // neither sent nor held again
  if (PriorityCondition(ev.Priority, c.PriorityUp, c.PrioritySearchUp)) {
    // An up event with a held down is left to the hold queue.
    if (!c.SendUpNotInQueue || queue.HasNode(name_, ev.Name))
      return {GroupCondition::UpLeftToQueue, false};
    return {GroupCondition::Matched, false};
  }
  return {c.SendMessFirstDown ? GroupCondition::Matched : GroupCondition::HeldDown, true};
}

HeldEntry GroupFilter::HoldEntry(const LocalTime& now, const InEvent& ev) {
  return HoldEvent(name_, now, Corr().HoldTimer, ev.DateAndTime, ev.Priority, ev.Name, ev.Message);
}

void SuppGroupCheck(Varnel& ctx) {
  Guarded(ctx, "SuppGroupCheck", [&] {
    SuppGroupTable& table = ctx.filter.SuppGrp;
    for (auto& e : table) e.Clear();
    Database db = OpenDatabase(ctx);
    Table groups = db.Open("SuppGrp_Perm");
    if (groups.Eof()) return;
    Table checkInterval = db.Open("Event_CheckInterval");
    RunContext run{ctx, checkInterval, ctx.clock.Now(), std::nullopt};

    // Entry k belongs to the k-th group that is enabled and on duty now.
    int k = 0;
    for (; !groups.Eof(); groups.MoveNext()) {
      if (GroupGate(ctx.clock, groups) != GroupCondition::Matched) continue;
      if (++k > kMaxSuppGroups) throw VarnelError(err::kSubscript, "Subscript out of range");
      CheckGroup(run, groups, table[k]);
    }
    TraceGroupTable(ctx, "Support Groups", "SuppGrp", table);
  });
}

}  // namespace varnel
