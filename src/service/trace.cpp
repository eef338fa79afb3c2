#include "service/trace.h"

#include "platform/files.h"
#include "service/errors.h"

namespace varnel {

bool TraceEnabled(const Varnel& ctx, TraceCategory category) {
  if (ctx.DebugMode == kDebugAll) return true;
  switch (category) {
    case TraceCategory::EventSources: return ctx.DebugMode == kDebugEventSources;
    case TraceCategory::FilterProcess: return ctx.DebugMode == kDebugFilterProcess;
    case TraceCategory::ModemCommunication: return ctx.DebugMode == kDebugModemCommunication;
    case TraceCategory::RemoteBackup: return ctx.DebugMode == kDebugRemoteBackup;
    case TraceCategory::FtpCommunication: return ctx.DebugMode == kDebugFtpCommunication;
    case TraceCategory::DebugAllOnly: return false;
  }
  return false;
}

void WriteTrace(Varnel& ctx, TraceCategory category, const std::string& file,
                const std::vector<std::string>& lines) {
  if (!TraceEnabled(ctx, category)) return;
  try {
    AppendLines(ctx.Path("Debug/" + file), lines);
    ctx.logs.traceFailing = false;
  } catch (const std::exception& e) {
    if (!ctx.logs.traceFailing) ReportError(ctx, "WriteTrace", ErrorNumberOf(e), e.what());
    ctx.logs.traceFailing = true;
  }
}

std::string TraceTimestamp(const Varnel& ctx) { return ctx.clock.Now().Text(); }

TraceLines& TraceLines::DumpTitle(const std::string& title) {
  lines_.push_back(TraceTimestamp(ctx_) + " ***** " + title + " *****");
  lines_.emplace_back();
  return *this;
}

TraceLines& TraceLines::ItemTitle(const std::string& name) {
  lines_.push_back("********** " + name + " **********");
  return *this;
}

TraceLines& TraceLines::Field(const std::string& name, int index, const std::string& value) {
  lines_.push_back(name + "(" + std::to_string(index) + ")=" + value);
  return *this;
}

TraceLines& TraceLines::Field(const std::string& name, const std::string& value) {
  lines_.push_back(name + "=" + value);
  return *this;
}

TraceLines& TraceLines::Line(const std::string& text) {
  lines_.push_back(text);
  return *this;
}

std::vector<std::string> SocketEventLines(Varnel& ctx, const std::string& link,
                                          const std::string& handler, int state, bool newTransfer) {
  std::uint64_t now = ctx.clock.TickMs();
  auto it = ctx.traceTicks.find(link);
  std::uint64_t delta = newTransfer || it == ctx.traceTicks.end() ? 0 : now - it->second;
  ctx.traceTicks[link] = now;
  return {newTransfer ? std::string(34, '=') : std::string(34, '-'), handler,
          "Delta: " + std::to_string(delta) + " ms    State: " + std::to_string(state)};
}

void TraceEventList(Varnel& ctx, const std::string& source, const std::string& title) {
  if (ctx.events.Count() < 1 || !TraceEnabled(ctx, TraceCategory::EventSources)) return;
  TraceLines t(ctx);
  t.DumpTitle(title);
  for (int i = 1; i <= kMaxEvents; ++i) {
    const InEvent& e = ctx.events[i];
    if (e.EventSource != source) continue;
    t.Field("InEventsDateAndTime", i, e.DateAndTime)
        .Field("InEventsPriority", i, e.Priority)
        .Field("InEventsName", i, e.Name)
        .Field("InEventsMessage", i, e.Message)
        .Field("InEventsEventSource", i, e.EventSource)
        .Blank();
  }
  t.Blank();
  WriteTrace(ctx, TraceCategory::EventSources, trace::kEventList, t.Lines());
}

void ClearDebugDir(Varnel& ctx) {
  static const char* const kFiles[] = {
      trace::kEventList,    trace::kFilterProcess, trace::kModem,        trace::kCommPort,
      trace::kDbSnmpTraps,  trace::kLogFile,       trace::kSnmpTrap,     trace::kSyslogMess,
      trace::kSmtpMail,     trace::kSmsCmd,        trace::kBuffMessList, trace::kSendMailSmtp,
      trace::kBackupClient, trace::kBackupServer,  trace::kSmtpLogFile,  trace::kReqAck,
      trace::kFtpPut,       trace::kTask,          "slist.tmp"};
  Guarded(ctx, "ClearDebugDir", [&] {
    for (const char* f : kFiles) {
      std::string path = ctx.Path(std::string("Debug/") + f);
      if (FileExists(path)) DeleteFile(path);
    }
  });
}

}  // namespace varnel
