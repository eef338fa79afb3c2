#include "filter/hold_queue.h"

#include <memory>
#include <optional>
#include <vector>

#include "filter/group_text.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/text.h"
#include "service/errors.h"

namespace varnel {
namespace {

// Reads the hold queue for a look-up; an absent file holds nothing.
std::vector<std::string> ReadHoldQueue(const Varnel& ctx) {
  std::string path = ctx.Path(kHoldQueueFile);
  if (!FileExists(path)) return {};
  return ReadLines(path);
}

// The columns of a group row that the hold queue run uses.
struct HqGroup {
  int HoldTimer = 0;
  int RemindTimer = 0;
  bool RemindOnce = false;
  bool EscalateWhenExp = false;
  bool SendMessWhenExp = false;
  std::string NewPriority, NewNodeName, NewMessage;
  std::string PriorityUp, PrioritySearchUp, MessageUp;
  bool SendMessWhenUp = false;

  explicit HqGroup(Table& t)
      : HoldTimer(t.Int16("HoldTimer")),
        RemindTimer(t.Int16("RemindTimer")),
        RemindOnce(t.Flag("RemindOnce")),
        EscalateWhenExp(t.Flag("EscalateWhenExp")),
        SendMessWhenExp(t.Flag("SendMessWhenExp")),
        NewPriority(t.Text("NewPriority")),
        NewNodeName(t.Text("NewNodeName")),
        NewMessage(t.Text("NewMessage")),
        PriorityUp(t.Text("PriorityUp")),
        PrioritySearchUp(t.Text("PrioritySearchUp")),
        MessageUp(t.Text("MessageUp")),
        SendMessWhenUp(t.Flag("SendMessWhenUp")) {}
};

struct Held {
  HeldEntry entry;
  bool reminded = false;
  bool removed = false;
};

// The message comparison of duplicates and of clearing: the whole string, or the first or
// last half of the event's message (in characters).
bool MessageMatches(std::string_view held, std::string_view event, std::string_view criteria) {
  const long n = static_cast<long>(CharLength(event) / 2);
  if (criteria == kWholeStringEqual) return held == event;
  if (criteria == kFirstPartEqual)
    return !event.empty() && LeftChars(held, n) == LeftChars(event, n);
  if (criteria == kLastPartEqual)
    return !event.empty() && RightChars(held, n) == RightChars(event, n);
  return criteria == kAnyStringValid;
}

// True when a hold queue entry matches; the walk is the procedure's unit of errors.
template <class Match>
bool AnyHeld(Varnel& ctx, const char* procedure, Match match) {
  bool found = false;
  Guarded(ctx, procedure, [&] {
    HeldEntry e;
    for (const std::string& line : ReadHoldQueue(ctx)) {
      if (ParseHoldQueueLine(line, e) && match(e)) {
        found = true;
        return;
      }
    }
  });
  return found;
}

}  // namespace

bool ParseHoldQueueLine(std::string_view line, HeldEntry& entry) {
  std::string_view fields[7];
  std::size_t start = 0;
  for (int f = 0; f < 6; ++f) {
    std::size_t tab = line.find('\t', start);
    if (tab == std::string_view::npos) return false;
    fields[f] = line.substr(start, tab - start);
    start = tab + 1;
  }
  fields[6] = line.substr(start);
  entry = HeldEntry{std::string(fields[0]), std::string(fields[1]), std::string(fields[2]),
                    std::string(fields[3]), std::string(fields[4]), std::string(fields[5]),
                    std::string(fields[6])};
  return true;
}

std::string FormatHoldQueueLine(const HeldEntry& e) {
  return DropFileField(e.GroupName) + "\t" + DropFileField(e.Expiry) + "\t" +
         DropFileField(e.EventTime) + "\t" + DropFileField(e.Priority) + "\t" +
         DropFileField(e.NodeName) + "\t" + DropFileField(e.Message) + "\t" +
         DropFileField(e.Reminded);
}

HeldEntry HoldEvent(const std::string& groupName, const LocalTime& now, int holdMinutes,
                    const std::string& eventTime, const std::string& priority,
                    const std::string& nodeName, const std::string& message) {
  return HeldEntry{groupName, AddMinutes(now, holdMinutes).Text(),   eventTime, priority,
                   nodeName,  LeftChars(message, kHeldMessageChars), "False"};
}

bool HeldForNode(const HeldEntry& e, const std::string& groupName, const std::string& nodeName) {
  // Fields were written with TAB, CR and LF as blanks; compare in that form.
  return e.GroupName == DropFileField(groupName) && e.NodeName == DropFileField(nodeName);
}

bool HeldDuplicates(const HeldEntry& e, const std::string& groupName, const std::string& criteria,
                    const std::string& priority, const std::string& nodeName,
                    const std::string& message) {
  return HeldForNode(e, groupName, nodeName) && e.Priority == DropFileField(priority) &&
         MessageMatches(e.Message, DropFileField(message), criteria);
}

bool TestForName_Hq(Varnel& ctx, const std::string& groupName, const std::string& nodeName) {
  return AnyHeld(ctx, "TestForName_Hq",
                 [&](const HeldEntry& e) { return HeldForNode(e, groupName, nodeName); });
}

bool TestForDuplicate_Hq(Varnel& ctx, const std::string& groupName, const std::string& criteria,
                         const std::string& priority, const std::string& nodeName,
                         const std::string& message) {
  return AnyHeld(ctx, "TestForDuplicate_Hq", [&](const HeldEntry& e) {
    return HeldDuplicates(e, groupName, criteria, priority, nodeName, message);
  });
}

bool TestForMessage_Hq(std::string_view heldMessage, std::string_view eventMessage,
                       std::string_view criteria) {
  // An up event never clears by the whole string.
  return criteria != kWholeStringEqual && MessageMatches(heldMessage, eventMessage, criteria);
}

namespace {

// The hold queue as one run reads it: the entries it works on and the lines after them.
struct HoldQueueRun {
  std::vector<Held> held;
  std::vector<std::string> unread;
};

// What a run decided; nothing of it has taken effect yet.
struct HoldQueueOutcome {
  std::unique_ptr<SuppGroupTable> table = std::make_unique<SuppGroupTable>();
  int counter = 0;                       // the acknowledgement counter after the run
  std::vector<std::string> escalations;  // new lines of the event log
  std::vector<std::string> ackLines;
};

// Takes the first kMaxHeldEntries entries; the lines after them are kept for the next run.
HoldQueueRun ReadRun(const std::string& path) {
  HoldQueueRun run;
  std::vector<std::string> lines = ReadLines(path);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (run.held.size() == static_cast<std::size_t>(kMaxHeldEntries)) {
      run.unread.assign(std::make_move_iterator(lines.begin() + static_cast<long>(i)),
                        std::make_move_iterator(lines.end()));
      break;
    }
    Held h;
    if (!ParseHoldQueueLine(lines[i], h.entry)) continue;
    h.reminded = ToLower(Trim(h.entry.Reminded)) == "true";
    run.held.push_back(std::move(h));
  }
  return run;
}

// Decides for every held entry of every group: expiry (escalation, sending), one reminder, or
// clearing by up events of the event list. Marks the entries and collects the group texts.
HoldQueueOutcome Evaluate(Varnel& ctx, std::vector<Held>& held, const LocalTime& now) {
  const std::string nowText = now.Text();
  HoldQueueOutcome out;
  out.counter = ctx.ReqAckIdCounter;
  Database db = OpenDatabase(ctx);
  Table groups = db.Open("SuppGrp_Perm");
  std::optional<Table> checkInterval;
  std::optional<MessageFormat> format;
  auto fmt = [&]() -> const MessageFormat& {
    if (!format) {
      checkInterval.emplace(db.Open("Event_CheckInterval"));
      format = ReadMessageFormat(*checkInterval);
    }
    return *format;
  };
  auto entryText = [&](const HeldEntry& e) {
    return ComposeEventText(fmt(), e.EventTime, e.NodeName, e.Priority, e.Message);
  };

  for (int g = 1; !groups.Eof(); groups.MoveNext(), ++g) {
    const std::string key = DropFileField(groups.Text("Name"));
    std::optional<HqGroup> G;
    for (Held& h : held) {
      if (h.removed || h.entry.GroupName != key) continue;
      if (g > kMaxSuppGroups) throw VarnelError(err::kSubscript, "Subscript out of range");
      if (!G) G.emplace(groups);
      auto append = [&](std::string_view text) {
        SuppGroupEntry& entry = (*out.table)[g];
        if (entry.Free()) FillGroupEntry(entry, groups);
        AppendGroupText(entry, text);
      };

      const long r = G->RemindTimer >= G->HoldTimer ? 0 : G->HoldTimer - G->RemindTimer;
      LocalTime expiry;
      // An expiry that cannot be read counts as passed, so the entry cannot stick.
      const bool readable = ParseTimeText(h.entry.Expiry, expiry);
      bool send = false;
      if (!readable || nowText > expiry.Text()) {
        h.removed = true;
        if (G->EscalateWhenExp) {
          std::string text = G->NewMessage == "$M" ? entryText(h.entry) : G->NewMessage;
          out.escalations.push_back(nowText + "\t" + DropFileField(G->NewPriority) + "\t" +
                                    DropFileField(G->NewNodeName) + "\t" + DropFileField(text));
        }
        send = G->SendMessWhenExp;
      } else if (G->RemindOnce && !h.reminded && nowText > AddMinutes(expiry, -r).Text()) {
        h.reminded = true;
        send = true;
      } else {
        for (int i = 1; i <= ctx.events.Count(); ++i) {
          const InEvent& ev = ctx.events[i];
          if (!PriorityCondition(ev.Priority, G->PriorityUp, G->PrioritySearchUp) ||
              DropFileField(ev.Name) != h.entry.NodeName)
            continue;
          if (TestForMessage_Hq(h.entry.Message, DropFileField(ev.Message), G->MessageUp))
            h.removed = true;
          // The up text goes out even when it did not clear the entry.
          if (G->SendMessWhenUp)
            append(ComposeEventText(fmt(), ev.DateAndTime, ev.Name, ev.Priority, ev.Message));
        }
      }
      if (send) append(entryText(h.entry));
    }

    if (g > kMaxSuppGroups) continue;
    SuppGroupEntry& entry = (*out.table)[g];
    if (entry.Free()) continue;
    FinishGroupText(entry, kHqGroupTextMaxChars, kHqGroupTextCutChars);
    if (groups.Flag("ReqAck")) {
      out.counter = NextReqAckId(out.counter);
      out.ackLines.push_back(AckRequest(entry, out.counter, now, groups.Int16("ReqAckWait"),
                                        groups.Int16("ReqAckMaxRem")));
    }
  }
  return out;
}

// Lets a run take effect: the event log and acknowledgement lines, the counter, the rewritten
// hold queue and the group table.
void Commit(Varnel& ctx, const std::string& path, HoldQueueRun& run, HoldQueueOutcome& out) {
  if (!out.escalations.empty()) AppendLines(ctx.Path(kEventLogFile), out.escalations);
  if (!out.ackLines.empty()) {
    AppendLines(ctx.Path(kReqAckFile), out.ackLines);
    ctx.ReqAckIdCounter = out.counter;
  }
  std::vector<std::string> keep;
  keep.reserve(run.held.size() + run.unread.size());
  for (Held& h : run.held) {
    if (h.removed) continue;
    h.entry.Reminded = h.reminded ? "True" : "False";
    keep.push_back(FormatHoldQueueLine(h.entry));
  }
  keep.insert(keep.end(), std::make_move_iterator(run.unread.begin()),
              std::make_move_iterator(run.unread.end()));
  if (keep.empty())
    DeleteFile(path);
  else
    RewriteLines(path, keep);
  ctx.filter.HqSuppGrp = std::move(*out.table);
}

}  // namespace

void SuppGroupCheck_Hq(Varnel& ctx) {
  Guarded(ctx, "SuppGroupCheck_Hq", [&] {
    for (auto& e : ctx.filter.HqSuppGrp) e.Clear();
    const std::string path = ctx.Path(kHoldQueueFile);
    if (!FileExists(path)) return;
    HoldQueueRun run = ReadRun(path);
    if (run.held.empty()) {
      DeleteFile(path);
      return;
    }
    // Everything is decided first and takes effect only once the whole walk succeeded, so a
    // failure leaves the file, the counter and the table as they were.
    HoldQueueOutcome out = Evaluate(ctx, run.held, ctx.clock.Now());
    Commit(ctx, path, run, out);
    TraceGroupTable(ctx, "Support Groups - Hold Queue", "HqSuppGrp", ctx.filter.HqSuppGrp);
  });
}

}  // namespace varnel
