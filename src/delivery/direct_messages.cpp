#include "delivery/direct_messages.h"

#include <string_view>
#include <vector>

#include "delivery/alarm_log.h"
#include "platform/files.h"
#include "service/errors.h"
#include "service/trace.h"
#include "service/update_event_log.h"

namespace varnel {
namespace {

// Where the fields of a drop-file line stand (1-based); priority 0 means always "5 - Normal".
struct LineLayout {
  const char* file;
  std::size_t fields;
  std::size_t type, oper, name, addr, mess, priority;
  const char* source;
};

constexpr LineLayout kSnmpLine{"SnmpMess.log", 8, 2, 3, 4, 5, 8, 7, kSourceSnmpTrap};
// The SMTP listener writes the address before the name.
constexpr LineLayout kSmtpLine{"SmtpMess.log", 6, 2, 3, 5, 4, 6, 0, kSourceSmtpMail};

// The fields of a TAB-separated line; the last one takes the rest of the line, its TABs
// read as blanks. Fewer than wanted when the line has too few TABs.
std::vector<std::string> SplitFields(const std::string& line, std::size_t wanted) {
  std::vector<std::string> fields;
  std::size_t pos = 0;
  while (fields.size() + 1 < wanted) {
    std::size_t tab = line.find('\t', pos);
    if (tab == std::string::npos) return fields;
    fields.push_back(line.substr(pos, tab - pos));
    pos = tab + 1;
  }
  std::string rest = line.substr(pos);
  for (char& c : rest)
    if (c == '\t') c = ' ';
  fields.push_back(std::move(rest));
  return fields;
}

// The severity word of a priority digit "1".."5"; empty for anything else.
std::string SeverityOfDigit(std::string_view digit) {
  static const char* const kWords[] = {kCritical, kMajor, kMinor, kWarning, kNormal};
  if (digit.size() == 1 && digit[0] >= '1' && digit[0] <= '5') return kWords[digit[0] - '1'];
  return {};
}

// Fills send list and event list entries 1.. from the drop file, at most
// kMaxDirectMessages of them; returns how many. The file is deleted, or keeps the lines
// that were not taken. The read and the rewrite are one step of the single thread, so no
// line that a listener appends is lost.
int TakeDirectMessages(Varnel& ctx, const LineLayout& layout) {
  const std::string path = ctx.Path(layout.file);
  std::vector<std::string> lines = ReadLines(path);
  auto& list = ctx.delivery.SendList;
  for (int i = 1; i <= kMaxDirectMessages; ++i) list[i] = SendEntry{};
  int n = 0;
  std::size_t next = 0;
  for (; next < lines.size() && n < kMaxDirectMessages; ++next) {
    std::vector<std::string> f = SplitFields(lines[next], layout.fields);
    if (f.size() < layout.fields) continue;  // too few TABs
    ++n;
    SendEntry& e = list[n];
    e.RecvType = f[layout.type - 1];
    e.RecvOper = f[layout.oper - 1];
    e.RecvName = f[layout.name - 1];
    e.RecvAddr = f[layout.addr - 1];
    e.RecvMess = f[layout.mess - 1];
    e.RecvPagerNumCode = ",,,,111#";
    e.RecvPagerNumDelay = 20;
    InEvent& ev = ctx.events[n];
    ev.DateAndTime = f[0];
    ev.Priority = layout.priority ? SeverityOfDigit(f[layout.priority - 1]) : kNormal;
    ev.Name = e.RecvName;
    ev.Message = e.RecvMess;
    ev.EventSource = layout.source;
  }
  ctx.events.SetCount(n);
  if (next < lines.size())
    RewriteLines(path,
                 std::vector<std::string>(lines.begin() + static_cast<long>(next), lines.end()));
  else
    DeleteFile(path);
  return n;
}

void TraceDirectMail(Varnel& ctx, int n) {
  if (!TraceEnabled(ctx, TraceCategory::EventSources)) return;
  TraceLines t(ctx);
  t.DumpTitle("Send List (from SmtpMess.log)");
  for (int i = 1; i <= n; ++i) {
    const SendEntry& e = ctx.delivery.SendList[i];
    t.Field("RecvName", i, e.RecvName)
        .Field("RecvType", i, e.RecvType)
        .Field("RecvAddr", i, e.RecvAddr)
        .Field("RecvOper", i, e.RecvOper)
        .Field("RecvMess", i, e.RecvMess)
        .Blank();
  }
  t.Blank();
  WriteTrace(ctx, TraceCategory::EventSources, trace::kSmtpLogFile, t.Lines());
}

void TraceDirectMailResult(Varnel& ctx, int i) {
  if (!TraceEnabled(ctx, TraceCategory::EventSources)) return;
  const SendEntry& e = ctx.delivery.SendList[i];
  TraceLines t(ctx);
  t.Field("RecvSendStatusInt", i, std::to_string(e.RecvSendStatusInt))
      .Field("RecvSendStatus", i, e.RecvSendStatus)
      .Blank();
  WriteTrace(ctx, TraceCategory::EventSources, trace::kSmtpLogFile, t.Lines());
}

// Delivers entries 1..n through the transports of the send list and records each attempt;
// direct mail gets no status trap. The entries are emptied afterwards so that no later
// send list run of the cycle delivers them again.
void DeliverDirectMessages(Varnel& ctx, Transport deliver, int n, bool isMail) {
  auto& list = ctx.delivery.SendList;
  for (int i = 1; i <= n; ++i) {
    SendEntry& e = list[i];
    if (e.Free()) continue;
    deliver(ctx, e);
    UpdateAlarmLog(ctx, i, kSendList);
    if (isMail)
      TraceDirectMailResult(ctx, i);
    else
      ForwardSendStatus(ctx, i, kSendList);
  }
  for (int i = 1; i <= n; ++i) list[i] = SendEntry{};
}

}  // namespace

void ProcessSnmpMessage(Varnel& ctx, Transport deliver) {
  Guarded(ctx, "ProcessSnmpMessage", [&] {
    int n = TakeDirectMessages(ctx, kSnmpLine);
    if (n > 0) UpdateEventLog(ctx);
    DeliverDirectMessages(ctx, deliver, n, false);
  });
}

void ProcessSmtpMessage(Varnel& ctx, Transport deliver) {
  Guarded(ctx, "ProcessSmtpMessage", [&] {
    int n = TakeDirectMessages(ctx, kSmtpLine);
    TraceDirectMail(ctx, n);
    if (n > 0) UpdateEventLog(ctx);
    DeliverDirectMessages(ctx, deliver, n, true);
  });
}

void ProcessSnmpMessage(Varnel& ctx) { ProcessSnmpMessage(ctx, DeliverSendEntry); }

void ProcessSmtpMessage(Varnel& ctx) { ProcessSmtpMessage(ctx, DeliverSendEntry); }

void ProcessTestMessage(Varnel& ctx) {
  Guarded(ctx, "ProcessTestMessage", [&] {
    Database db = OpenDatabase(ctx);
    for (Table t = db.Open("Receiver_Test"); !t.Eof(); t.MoveNext()) {
      SendEntry e;
      e.RecvName = t.Text("Name");
      e.RecvType = t.Text("Type");
      e.RecvOper = t.Text("Operator");
      e.RecvAddr = t.Text("Address");
      e.RecvMess = t.Text("Message");
      e.RecvPagerNumMoCall = t.Flag("PagerNumMoCall");
      e.RecvPagerNumCode = t.Text("PagerNumCode");
      e.RecvPagerNumDelay = t.Int16("PagerNumDelay");
      const std::string message = e.RecvMess;  // recorded as written, before any transport edit
      DeliverSendEntry(ctx, e);
      ctx.delivery.TestMessage = {e.RecvName, e.RecvType, message,
                                  std::to_string(e.RecvSendStatusInt), e.RecvSendStatus};
      UpdateAlarmLog(ctx, 1, kTestMessage);
      ForwardSendStatus(ctx, 1, kTestMessage);
      t.Delete();
    }
  });
}

void ProcessDailyTestMessage(Varnel& ctx) {
  Guarded(ctx, "ProcessDailyTestMessage", [&] {
    const LocalTime now = ctx.clock.Now();
    Database db = OpenDatabase(ctx);
    Table g = db.Open("Settings_General");
    if (!g.Flag("TestUse") || g.Int16("TestSendTime") != now.hour) return;
    const std::string today = now.DateText();
    if (g.Text("TestLastSent").substr(0, today.size()) == today) return;  // once a day
    ctx.events.Append(now.Text(), g.Text("TestSeverity"), g.Text("TestSource"),
                      g.Text("TestMessage"), kSourceInternal);
    g.Set("TestLastSent", today);
    g.Update();
  });
}

}  // namespace varnel
