// explain: for one event, every support group's verdict with the condition that decided it,
// judged by the filter's own rules at the event's time, the receivers' duty state then, and
// the alarm log rows that the event caused.
#include <asio/io_context.hpp>
#include <iostream>
#include <string>
#include <vector>

#include "admin/ops.h"
#include "admin/ops_common.h"
#include "delivery/send_list.h"
#include "filter/duty_time.h"
#include "filter/group_text.h"
#include "filter/hold_queue.h"
#include "filter/supp_group.h"
#include "platform/event_log.h"
#include "platform/files.h"
#include "platform/text.h"

namespace varnel::admin {
namespace {

constexpr const char* kSeverities[] = {kCritical, kMajor, kMinor, kWarning, kNormal};
constexpr const char* kDayNames[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                     "Thursday", "Friday", "Saturday"};
constexpr int kAlarmMatchChars = 200;  // alarm log rows keep 250 characters of a message

// The hold queue as it is now, without the entry that the explained event made itself
// (same event time, priority and node): an event is no duplicate of its own entry.
class QueueWithoutEvent : public HeldEvents {
 public:
  QueueWithoutEvent(const std::string& path, const InEvent* self) {
    if (!FileExists(path)) return;
    HeldEntry e;
    for (const std::string& line : ReadLines(path)) {
      if (!ParseHoldQueueLine(line, e)) continue;
      if (self && e.EventTime == DropFileField(self->DateAndTime) &&
          e.Priority == DropFileField(self->Priority) && e.NodeName == DropFileField(self->Name))
        continue;
      entries_.push_back(e);
    }
  }
  bool HasNode(const std::string& group, const std::string& node) override {
    for (const HeldEntry& e : entries_)
      if (HeldForNode(e, group, node)) return true;
    return false;
  }
  bool IsDuplicate(const std::string& group, const std::string& criteria,
                   const std::string& priority, const std::string& node,
                   const std::string& message) override {
    for (const HeldEntry& e : entries_)
      if (HeldDuplicates(e, group, criteria, priority, node, message)) return true;
    return false;
  }

 private:
  std::vector<HeldEntry> entries_;
};

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

// The verdict word and what decided it, from the group's own columns.
std::pair<std::string, std::string> Describe(GroupCondition c, Table& g, const LocalTime& at) {
  switch (c) {
    case GroupCondition::Matched: return {"matched", ""};
    case GroupCondition::Disabled: return {"missed: disabled", "Enabled is off"};
    case GroupCondition::OffDuty:
      return {"missed: off duty", DutyTimeColumn(at.weekday) + " " +
                                      g.Text(DutyTimeColumn(at.weekday)) + " has no hour " +
                                      std::to_string(at.hour)};
    case GroupCondition::Priority:
      return {"missed: priority", "Priority " + g.Text("PrioritySearch") + " " +
                                      Quoted(g.Text("Priority")) + " does not hold"};
    case GroupCondition::NodeFilter:
      return {"missed: node filter", "NodeName " + Quoted(g.Text("NodeName")) +
                                         " (NodeNameSearch " + g.Text("NodeNameSearch") +
                                         ") does not hold"};
    case GroupCondition::MessageFilter:
      return {"missed: message filter", "Message " + Quoted(g.Text("Message")) +
                                            " (MessageSearch " + g.Text("MessageSearch") +
                                            ") does not hold"};
    case GroupCondition::Duplicate:
      return {"missed: held as a duplicate",
              "a held entry has the same priority and node (CriteriaDupEvent " +
                  Quoted(g.Text("CriteriaDupEvent")) + ")"};
    case GroupCondition::UpLeftToQueue:
      return {"missed: up event", "left to the hold queue, which clears the held down event"};
    case GroupCondition::HeldDown:
      return {"missed: held", "held in the hold queue; SendMessFirstDown is off"};
  }
  return {"", ""};
}

std::string DutyState(Database& db, const Clock& clock, const std::string& name,
                      const std::string& type) {
  const char* table = ReceiverTable(type);
  if (!table) return "no such receiver type";
  Table t = db.Open(table);
  for (; !t.Eof(); t.MoveNext()) {
    if (t.Text("Name") != name) continue;
    if (!t.Flag("Enabled")) return "disabled";
    if (DutyTimeCheck(clock, t.Int32(DutyTimeColumn(clock.Now().weekday)))) return "on duty";
    return ReadReceiverRow(t, type).BuffMess ? "off duty, buffered" : "off duty";
  }
  return "no such receiver";
}

InEvent LoggedEvent(Database& db, const std::string& index) {
  if (index.empty() || index.size() > 10 || index.find_first_not_of("0123456789") != index.npos)
    throw BadInput("--event takes the Index of an event log row, not \"" + index + "\"");
  Rows r = Query(db,
                 "SELECT DateAndTime, Priority, NodeName, Message, EventSource FROM "
                 "LogFiles_Event WHERE \"Index\" = ? ORDER BY rowid DESC LIMIT 1",
                 {index});
  if (r.values.empty()) throw BadInput("the event log has no event with Index " + index);
  const auto& v = r.values[0];
  return InEvent{v[0], v[1], v[2], v[3], v[4]};
}

std::string SeverityWord(const std::string& priority) {
  for (const char* word : kSeverities)
    if (priority == word || priority == std::string(1, word[0])) return word;
  throw BadInput(
      "PRIORITY is a digit 1 to 5 or a severity word (\"1 - Critical\" .. "
      "\"5 - Normal\"), not \"" +
      priority + "\"");
}

void PrintAlarmRows(Database& db, const InEvent& ev) {
  Table format = db.Open("Event_CheckInterval");
  const std::string text = LeftChars(
      ComposeEventText(ReadMessageFormat(format), ev.DateAndTime, ev.Name, ev.Priority, ev.Message),
      kAlarmMatchChars);
  std::cout << "Alarm log rows:\n";
  if (text.empty()) {
    std::cout << "(the alarm texts carry no part of an event; rows cannot be told apart)\n";
    return;
  }
  Rows r = Query(db,
                 "SELECT \"Index\", DateAndTime, Receiver, SendType, SendStatusInt, SendStatus "
                 "FROM LogFiles_Alarm WHERE instr(Message, ?) > 0 ORDER BY rowid",
                 {text});
  if (r.values.empty()) {
    std::cout << "(none)\n";
    return;
  }
  std::cout << AlignedPrinter(r.columns).Block(r.values);
}

}  // namespace

int RunExplain(const Args& args) {
  Options o = ParseOptions(args, {"--event"}, {});
  const bool logged = o.Has("--event");
  if (o.positional.size() != (logged ? 1u : 4u))
    throw BadInput("usage: varnel-admin explain DIR (--event INDEX | NODE PRIORITY MESSAGE)");
  const std::string dir = o.positional[0];
  auto opened = OpenProgramDatabase(dir);
  Database& db = *opened;
  const std::string path = ProgramDatabase(dir);
  InEvent ev = logged ? LoggedEvent(db, o.Value("--event"))
                      : InEvent{SystemClock().Now().Text(), SeverityWord(o.positional[2]),
                                o.positional[1], o.positional[3], ""};
  LocalTime at;
  if (!ParseTimeText(ev.DateAndTime, at))
    throw BadInput("the event's time " + Quoted(ev.DateAndTime) + " is not a time");
  at.weekday = WeekdayOf(at.year, at.month, at.day);
  FakeClock clock(at);

  // The filter's rules run on a context of their own; what they report lands in memory.
  asio::io_context io;
  MemoryEventLog reports;
  Varnel ctx(io, clock, reports, dir);
  ctx.ConnectionString = path;
  QueueWithoutEvent queue(ctx.Path(kHoldQueueFile), logged ? &ev : nullptr);

  std::cout << "Event: " << ev.DateAndTime << "  " << ev.Priority << "  " << ev.Name << "  "
            << ev.Message << (ev.EventSource.empty() ? "" : "  (" + ev.EventSource + ")") << "\n";
  std::vector<std::vector<std::string>> groups, receivers;
  Table g = db.Open("SuppGrp_Perm");
  for (; !g.Eof(); g.MoveNext()) {
    GroupCondition c = GroupGate(clock, g);
    if (c == GroupCondition::Matched) c = GroupFilter(ctx, g).Judge(ev, queue).decided;
    auto [verdict, why] = Describe(c, g, at);
    const std::string name = g.Text("Name");
    groups.push_back({name, verdict, why});
    for (int k = 1; k <= kMaxGroupReceivers; ++k) {
      const std::string r = g.Text("RecvName" + std::to_string(k));
      const std::string type = g.Text("RecvType" + std::to_string(k));
      if (r == "None" || r.empty()) continue;
      receivers.push_back({name, r, type, DutyState(db, clock, r, type)});
    }
  }
  std::cout << "Support groups:\n"
            << AlignedPrinter({"Group", "Verdict", "Deciding condition"}).Block(groups);
  for (const EventLogEntry& e : reports.entries) std::cout << "filter error: " << e.text << "\n";
  std::cout << "Receivers at " << at.Text() << " (" << kDayNames[at.weekday] << "):\n"
            << AlignedPrinter({"Group", "Receiver", "Type", "Duty"}).Block(receivers);
  if (logged) PrintAlarmRows(db, ev);
  return kExitOk;
}

}  // namespace varnel::admin
