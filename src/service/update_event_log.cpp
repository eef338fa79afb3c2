#include "service/update_event_log.h"

#include <algorithm>
#include <limits>

#include "platform/text.h"

namespace varnel {
namespace {

// The rows of one write: those kept from earlier writes, then entries 1 to Count of the
// event list (when given). The list's entries are copied only when they must wait.
struct EventRows {
  std::deque<KeptEventRow> kept;
  const EventList* list = nullptr;

  std::size_t size() const {
    return kept.size() + (list ? static_cast<std::size_t>(list->Count()) : 0);
  }
  template <class Visit>
  void ForEach(Visit&& visit) const {
    for (const KeptEventRow& r : kept)
      visit(r.DateAndTime, r.Priority, r.Name, r.Message, r.EventSource);
    if (!list) return;
    for (int i = 1; i <= list->Count(); ++i) {
      const InEvent& e = (*list)[i];
      visit(e.DateAndTime, e.Priority, e.Name, e.Message, e.EventSource);
    }
  }
  std::deque<KeptEventRow> TakeAll() {
    if (list)
      for (int i = 1; i <= list->Count(); ++i) {
        const InEvent& e = (*list)[i];
        kept.push_back({e.DateAndTime, e.Priority, e.Name, e.Message, e.EventSource});
      }
    list = nullptr;
    return std::move(kept);
  }
};

void WriteEventRows(Varnel& ctx, Database& db, const EventRows& rows) {
  // One transaction (one disk sync) for the counter and the rows. Should a row fail for a
  // lasting reason, the connection still commits what was written, so the counter is
  // advanced either way.
  db.Begin();
  int n;
  {
    Table g = db.Open("Settings_General");
    n = g.Int16("LogIndexEvent");
    // The counter advances by the whole count, whether or not the rows get written. It stops
    // at the top of its 16-bit range: a busy day must not make every later write of the day
    // fail on reading it back.
    g.Set("LogIndexEvent",
          std::min<std::int64_t>(static_cast<std::int64_t>(n) + static_cast<std::int64_t>(rows.size()),
                                 std::numeric_limits<std::int16_t>::max()));
    g.Update();
  }
  // The first event of the day past the limit: said once, so the gap in the log is known.
  const auto count = static_cast<int>(rows.size());
  if (n <= kMaxLogRowsPerDay + 1 && n + count > kMaxLogRowsPerDay + 1)
    Notice(ctx, evt::kWarning,
           "Event log: " + std::to_string(kMaxLogRowsPerDay) +
               " events are logged today; further events of the day are filtered and "
               "delivered but not logged.");
  if (n > kMaxLogRowsPerDay) return db.Commit();
  std::int32_t stamp = DayStamp(ctx.clock.Now().DateText());
  Table t = db.Open("LogFiles_Event");
  rows.ForEach([&](const std::string& dateAndTime, const std::string& priority,
                   const std::string& name, const std::string& message, const std::string& source) {
    if (n > kMaxLogRowsPerDay) return;
    t.AddNew();
    t.Set("Index", static_cast<std::int64_t>(stamp) + n);
    ++n;
    t.Set("DateAndTime", dateAndTime);
    t.Set("Priority", priority);
    t.Set("NodeName", LeftChars(name, 100));
    t.Set("Message", LeftChars(message, 250));
    t.Set("EventSource", LeftChars(source, 25));
    t.Update();
  });
  db.Commit();
}

// Writes rows (the kept ones first); those of a failed write are kept again.
void WriteOrKeepEventRows(Varnel& ctx, EventRows rows, std::size_t waited, bool retry) {
  GuardedWriteOrKeep(
      ctx, "UpdateEventLog", retry, waited, "event log", "events",
      [&](Database& db) { WriteEventRows(ctx, db, rows); },
      [&] {
        ReportDroppedRows(ctx, "UpdateEventLog", KeepRows(ctx.logs.events, rows.TakeAll()),
                          "events");
      });
}

}  // namespace

std::int32_t DayStamp(const std::string& date) {
  auto digits = [&](std::size_t pos, std::size_t len) { return std::stoi(date.substr(pos, len)); };
  return digits(3, 1) * 100000000 + digits(5, 2) * 1000000 + digits(8, 2) * 10000;
}

bool PassingDatabaseError(int number) {
  switch (number - err::kDatabaseBase) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
    case SQLITE_NOMEM:
    case SQLITE_IOERR:
    case SQLITE_FULL:
    case SQLITE_CANTOPEN: return true;
    default: return false;
  }
}

void ReportDroppedRows(Varnel& ctx, const std::string& procedure, std::size_t dropped,
                       const std::string& what) {
  if (dropped == 0) return;
  ReportError(ctx, procedure, err::kOverflow,
              std::to_string(dropped) + " " + what +
                  " not logged: " + std::to_string(kMaxKeptLogRows) +
                  " were already waiting for the database to be written");
}

void UpdateEventLog(Varnel& ctx) {
  EventRows rows;
  rows.kept.swap(ctx.logs.events);
  rows.list = &ctx.events;
  const std::size_t waited = rows.kept.size();
  WriteOrKeepEventRows(ctx, std::move(rows), waited, false);
}

void WriteKeptEventRows(Varnel& ctx) {
  if (ctx.logs.events.empty() || ctx.logs.failedThisCycle) return;
  EventRows rows;
  rows.kept.swap(ctx.logs.events);
  const std::size_t waited = rows.kept.size();
  WriteOrKeepEventRows(ctx, std::move(rows), waited, true);
}

}  // namespace varnel
