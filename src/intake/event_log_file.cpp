#include "intake/event_log_file.h"

#include <asio/io_context.hpp>

#include "platform/database.h"
#include "platform/files.h"
#include "platform/text.h"
#include "service/errors.h"
#include "service/trace.h"

namespace varnel {

void WriteEventLogEventsToEventList(Varnel& ctx) {
  Guarded(ctx, "WriteEventLogEventsToEventList", [&] {
    ctx.io.poll();
    std::string path = ctx.Path("Event.log");
    std::vector<std::string> lines = ReadLines(path);
    std::vector<std::string> traced;
    std::size_t read = 0;
    for (; read < lines.size(); ++read) {
      std::string line = FromWire(lines[read]);
      auto t1 = line.find('\t');
      auto t2 = t1 == std::string::npos ? t1 : line.find('\t', t1 + 1);
      auto t3 = t2 == std::string::npos ? t2 : line.find('\t', t2 + 1);
      if (t3 != std::string::npos && ctx.events.Room() == 0) break;
      traced.push_back(line);
      if (t3 == std::string::npos) continue;
      std::string message = line.substr(t3 + 1);
      for (char& c : message)
        if (c == '\t' || c == '\0') c = ' ';
      ctx.events.Append(line.substr(0, t1), line.substr(t1 + 1, t2 - t1 - 1),
                        line.substr(t2 + 1, t3 - t2 - 1), message, kSourceLogFile);
    }
    WriteTrace(ctx, TraceCategory::EventSources, trace::kLogFile, traced);
    // The lines the full event list could not take stay in the file for the next cycle.
    if (read < lines.size())
      RewriteLines(path, {lines.begin() + static_cast<long>(read), lines.end()});
    else
      DeleteFile(path);
    ctx.events.RemoveDuplicates(kSourceLogFile);
    TraceEventList(ctx, kSourceLogFile, "Event List (from Event.log)");
  });
}

void WriteNmsPollAlarmToEventList(Varnel& ctx) {
  Guarded(ctx, "WriteNmsPollAlarmToEventList", [&] {
    Database db = OpenDatabase(ctx);
    Table t = db.Open("Settings_SNMP_Agent");
    ctx.events.SetCount(0);
    ctx.events.Append(ctx.clock.Now().Text(), t.Text("PollMeSeverity"), t.Text("PollMeSource"),
                      t.Text("PollMeMessage"), kSourceInternal);
  });
}

}  // namespace varnel
