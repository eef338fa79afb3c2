#include "filter/group_text.h"

#include "platform/text.h"
#include "service/trace.h"

namespace varnel {
namespace {

bool EndsWith(std::string_view s, std::string_view tail) {
  return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

}  // namespace

MessageFormat ReadMessageFormat(Table& checkInterval) {
  MessageFormat f;
  f.SendDate = checkInterval.Flag("SendDate");
  f.SendTime = checkInterval.Flag("SendTime");
  f.SendNodeName = checkInterval.Flag("SendNodeName");
  f.SendNodeNameMaxChar = checkInterval.Int32("SendNodeNameMaxChar");
  f.SendPriority = checkInterval.Flag("SendPriority");
  f.SendMessage = checkInterval.Flag("SendMessage");
  f.SendMessageMaxChar = checkInterval.Int32("SendMessageMaxChar");
  return f;
}

std::string ComposeEventText(const MessageFormat& format, std::string_view dateAndTime,
                             std::string_view nodeName, std::string_view priority,
                             std::string_view message) {
  std::string text;
  auto part = [&](std::string_view p) {
    text.append(p);
    text.append(", ");
  };
  if (format.SendDate) part(LeftChars(dateAndTime, 10));
  if (format.SendTime) part(MidChars(dateAndTime, 12, 8));
  if (format.SendNodeName) part(LeftChars(nodeName, format.SendNodeNameMaxChar));
  if (format.SendPriority) part(priority);
  if (format.SendMessage) part(LeftChars(message, format.SendMessageMaxChar));
  if (EndsWith(text, ", ")) text.resize(text.size() - 2);
  return text;
}

int PriorityNumber(std::string_view priority) {
  if (priority.empty() || priority[0] < '0' || priority[0] > '9') return 0;
  return priority[0] - '0';
}

bool PriorityCondition(std::string_view eventPriority, std::string_view groupPriority,
                       std::string_view search) {
  int e = PriorityNumber(eventPriority), g = PriorityNumber(groupPriority);
  if (search == "<=") return e <= g;
  if (search == "=") return e == g;
  if (search == ">=") return e >= g;
  return false;
}

void FillGroupEntry(SuppGroupEntry& entry, Table& group) {
  entry.Name = group.Text("Name");
  for (int r = 0; r < kMaxGroupReceivers; ++r) {
    std::string n = std::to_string(r + 1);
    entry.RecvName[r] = group.Text("RecvName" + n);
    entry.RecvType[r] = group.Text("RecvType" + n);
  }
}

void AppendGroupText(SuppGroupEntry& entry, std::string_view text) {
  entry.Mess.append(">>");
  entry.Mess.append(text);
}

void FinishGroupText(SuppGroupEntry& entry, long maxChars, long cutTo) {
  if (entry.Mess.starts_with(">>")) entry.Mess.erase(0, 2);
  // Bytes bound characters from above, so short texts skip the count.
  if (entry.Mess.size() > static_cast<std::size_t>(maxChars) &&
      CharLength(entry.Mess) > static_cast<std::size_t>(maxChars))
    entry.Mess = LeftChars(entry.Mess, cutTo);
}

int NextReqAckId(int counter) { return counter >= 901 && counter < 999 ? counter + 1 : 901; }

std::string AckRequest(SuppGroupEntry& entry, int id, const LocalTime& now, int waitMinutes,
                       int maxReminders) {
  entry.Mess = "<ID=" + std::to_string(id) + "> " + entry.Mess;
  return DropFileField(entry.Name) + "\t" + std::to_string(id) + "\t" +
         AddMinutes(now, waitMinutes).Text() + "\t" + std::to_string(maxReminders) + "\t" +
         DropFileField(entry.Mess);
}

std::string DropFileField(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c == '\t' || c == '\r' || c == '\n') c = ' ';
  return out;
}

void TraceGroupTable(Varnel& ctx, const std::string& title, const std::string& prefix,
                     const SuppGroupTable& table) {
  if (!TraceEnabled(ctx, TraceCategory::FilterProcess)) return;
  TraceLines lines(ctx);
  lines.DumpTitle(title);
  for (int k = 1; k <= kMaxSuppGroups; ++k) {
    const SuppGroupEntry& e = table[k];
    if (e.Free()) continue;
    lines.Field(prefix + "Name", k, e.Name).Field(prefix + "Mess", k, e.Mess);
    for (int r = 0; r < kMaxGroupReceivers; ++r) {
      std::string n = std::to_string(r + 1);
      lines.Field(prefix + "RecvName" + n, k, e.RecvName[r])
          .Field(prefix + "RecvType" + n, k, e.RecvType[r]);
    }
    lines.Blank();
  }
  lines.Blank();
  WriteTrace(ctx, TraceCategory::FilterProcess, trace::kFilterProcess, lines.Lines());
}

}  // namespace varnel
