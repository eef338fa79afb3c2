#include "service/update_event_log.h"

#include <algorithm>
#include <limits>

#include "platform/text.h"
#include "service/errors.h"

namespace varnel {

std::int32_t DayStamp(const std::string& date) {
  auto digits = [&](std::size_t pos, std::size_t len) { return std::stoi(date.substr(pos, len)); };
  return digits(3, 1) * 100000000 + digits(5, 2) * 1000000 + digits(8, 2) * 10000;
}

void UpdateEventLog(Varnel& ctx) {
  Guarded(ctx, "UpdateEventLog", [&] {
    Database db = OpenDatabase(ctx);
    // One transaction (one disk sync) for the counter and the rows. Should a row fail, the
    // connection still commits what was written, so the counter is advanced either way.
    db.Begin();
    int n;
    {
      Table g = db.Open("Settings_General");
      n = g.Int16("LogIndexEvent");
      // The counter advances by the whole count, whether or not the rows get written. It
      // stops at the top of its 16-bit range, so that a day with more events than that does
      // not turn every later cycle of the day into an overflow error.
      g.Set("LogIndexEvent", std::min<std::int64_t>(std::int64_t{n} + ctx.events.Count(),
                                                    std::numeric_limits<std::int16_t>::max()));
      g.Update();
    }
    // The first event of the day past the limit: said once, so the gap in the log is known.
    if (n <= kMaxLogRowsPerDay + 1 && n + ctx.events.Count() > kMaxLogRowsPerDay + 1)
      Notice(ctx, evt::kWarning,
             "Event log: " + std::to_string(kMaxLogRowsPerDay) +
                 " events are logged today; further events of the day are filtered and "
                 "delivered but not logged.");
    if (n > kMaxLogRowsPerDay) return;
    std::int32_t stamp = DayStamp(ctx.clock.Now().DateText());
    Table t = db.Open("LogFiles_Event");
    for (int i = 1; i <= ctx.events.Count(); ++i) {
      if (n > kMaxLogRowsPerDay) continue;
      const InEvent& e = ctx.events[i];
      t.AddNew();
      t.Set("Index", static_cast<std::int64_t>(stamp) + n);
      ++n;
      t.Set("DateAndTime", e.DateAndTime);
      t.Set("Priority", e.Priority);
      t.Set("NodeName", LeftChars(e.Name, 100));
      t.Set("Message", LeftChars(e.Message, 250));
      t.Set("EventSource", LeftChars(e.EventSource, 25));
      t.Update();
    }
    db.Commit();
  });
}

}  // namespace varnel
