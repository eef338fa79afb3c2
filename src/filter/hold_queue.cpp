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
  return HeldEntry{groupName,
                   AddMinutes(now, holdMinutes).Text(),
                   eventTime,
                   priority,
                   nodeName,
                   LeftChars(message, kHeldMessageChars),
                   "False"};
}

bool TestForName_Hq(Varnel& ctx, const std::string& groupName, const std::string& nodeName) {
  bool found = false;
  Guarded(ctx, "TestForName_Hq", [&] {
    // Fields were written with TAB, CR and LF as blanks; compare in that form.
    std::string group = DropFileField(groupName), node = DropFileField(nodeName);
    HeldEntry e;
    for (const std::string& line : ReadHoldQueue(ctx)) {
      if (ParseHoldQueueLine(line, e) && e.GroupName == group && e.NodeName == node) {
        found = true;
        return;
      }
    }
  });
  return found;
}

bool TestForDuplicate_Hq(Varnel& ctx, const std::string& groupName, const std::string& criteria,
                         const std::string& priority, const std::string& nodeName,
                         const std::string& message) {
  bool duplicate = false;
  Guarded(ctx, "TestForDuplicate_Hq", [&] {
    std::string group = DropFileField(groupName), prio = DropFileField(priority),
                node = DropFileField(nodeName), m = DropFileField(message);
    long n = static_cast<long>(CharLength(m) / 2);
    HeldEntry e;
    for (const std::string& line : ReadHoldQueue(ctx)) {
      if (!ParseHoldQueueLine(line, e) || e.GroupName != group || e.Priority != prio ||
          e.NodeName != node)
        continue;
      const std::string& h = e.Message;
      if (criteria == "Whole String Equal") {
        duplicate = h == m;
      } else if (criteria == "First Part Equal") {
        duplicate = !m.empty() && LeftChars(h, n) == LeftChars(m, n);
      } else if (criteria == "Last Part Equal") {
        duplicate = !m.empty() && RightChars(h, n) == RightChars(m, n);
      } else {
        duplicate = criteria == "Any String Valid";
      }
      if (duplicate) return;
    }
  });
  return duplicate;
}

bool TestForMessage_Hq(std::string_view heldMessage, std::string_view eventMessage,
                       std::string_view criteria) {
  long n = static_cast<long>(CharLength(eventMessage) / 2);
  if (criteria == "Any String Valid") return true;
  if (criteria == "First Part Equal")
    return !eventMessage.empty() && LeftChars(heldMessage, n) == LeftChars(eventMessage, n);
  if (criteria == "Last Part Equal")
    return !eventMessage.empty() && RightChars(heldMessage, n) == RightChars(eventMessage, n);
  return false;
}

void SuppGroupCheck_Hq(Varnel& ctx) {
  Guarded(ctx, "SuppGroupCheck_Hq", [&] {
    for (auto& e : ctx.filter.HqSuppGrp) e = SuppGroupEntry{};
    const std::string path = ctx.Path(kHoldQueueFile);
    if (!FileExists(path)) return;

    // Take the first 300 entries; keep the lines after them as they are for the next run.
    std::vector<std::string> lines = ReadLines(path);
    std::vector<Held> held;
    std::vector<std::string> unread;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (held.size() == static_cast<std::size_t>(kMaxHeldEntries)) {
        unread.assign(std::make_move_iterator(lines.begin() + static_cast<long>(i)),
                      std::make_move_iterator(lines.end()));
        break;
      }
      Held h;
      if (!ParseHoldQueueLine(lines[i], h.entry)) continue;
      h.reminded = ToLower(Trim(h.entry.Reminded)) == "true";
      held.push_back(std::move(h));
    }
    if (held.empty()) {
      DeleteFile(path);
      return;
    }

    const LocalTime now = ctx.clock.Now();
    const std::string nowText = now.Text();
    // Everything is worked out first and only takes effect once the whole walk succeeded,
    // so a failure leaves the file, the counter and the table as they were.
    auto table = std::make_unique<SuppGroupTable>();
    int counter = ctx.ReqAckIdCounter;
    std::vector<std::string> escalations, ackLines;

    {
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
            SuppGroupEntry& entry = (*table)[g];
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
              escalations.push_back(nowText + "\t" + DropFileField(G->NewPriority) + "\t" +
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
        SuppGroupEntry& entry = (*table)[g];
        if (entry.Free()) continue;
        FinishGroupText(entry, 2500, 2400);
        if (groups.Flag("ReqAck")) {
          counter = NextReqAckId(counter);
          ackLines.push_back(
              AckRequest(entry, counter, now, groups.Int16("ReqAckWait"), groups.Int16("ReqAckMaxRem")));
        }
      }
    }

    if (!escalations.empty()) AppendLines(ctx.Path(kEventLogFile), escalations);
    if (!ackLines.empty()) {
      AppendLines(ctx.Path(kReqAckFile), ackLines);
      ctx.ReqAckIdCounter = counter;
    }

    std::vector<std::string> keep;
    keep.reserve(held.size() + unread.size());
    for (Held& h : held) {
      if (h.removed) continue;
      h.entry.Reminded = h.reminded ? "True" : "False";
      keep.push_back(FormatHoldQueueLine(h.entry));
    }
    keep.insert(keep.end(), std::make_move_iterator(unread.begin()),
                std::make_move_iterator(unread.end()));
    if (keep.empty())
      DeleteFile(path);
    else
      RewriteLines(path, keep);

    ctx.filter.HqSuppGrp = std::move(*table);
    TraceGroupTable(ctx, "Support Groups - Hold Queue", "HqSuppGrp", ctx.filter.HqSuppGrp);
  });
}

}  // namespace varnel
