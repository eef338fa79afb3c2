#include "delivery/alarm_log.h"

#include <charconv>
#include <cstdint>
#include <deque>
#include <exception>

#include "agent/send_status_trap.h"
#include "filter/group_text.h"
#include "platform/error.h"
#include "platform/text.h"
#include "service/errors.h"
#include "service/update_event_log.h"
#include "transports/alarm_text.h"

namespace varnel {
namespace {

// Characters kept of each text column of LogFiles_Alarm.
constexpr long kReceiverChars = 100;
constexpr long kMessageChars = 250;
constexpr long kStatusChars = 100;
constexpr long kSendTypeChars = 25;

struct AlarmRecord {
  std::string receiver, type, message, status;
  std::int16_t statusInt = 0;
};

template <class List>
auto& Entry(List& list, int index, int size) {
  if (index < 1 || index > size) throw VarnelError(err::kSubscript, "Subscript out of range");
  return list[static_cast<std::size_t>(index)];
}

std::int16_t StatusCode(const std::string& text) {
  std::string t = Trim(text);
  int n = 0;
  auto [p, ec] = std::from_chars(t.data(), t.data() + t.size(), n);
  if (t.empty() || ec != std::errc() || p != t.data() + t.size())
    throw VarnelError(err::kTypeMismatch, "Type mismatch");
  if (n < INT16_MIN || n > INT16_MAX) throw VarnelError(err::kOverflow, "Overflow");
  return static_cast<std::int16_t>(n);
}

// The record of the list named; nothing for an unknown list.
bool Record(Varnel& ctx, int index, const std::string& listName, AlarmRecord& r) {
  if (listName == kSendList) {
    const SendEntry& e = Entry(ctx.delivery.SendList, index, kMaxSendList);
    r = {e.RecvName, e.RecvType, e.RecvMess, e.RecvSendStatus, e.RecvSendStatusInt};
  } else if (listName == kBufferList) {
    const BufferEntry& b = Entry(ctx.delivery.BufferList, index, kMaxBufferList);
    r = {b.BufferRecvName, b.BufferRecvType, b.BufferRecvMess, b.BufferRecvSendStatus,
         b.BufferRecvSendStatusInt};
  } else if (listName == kTestMessage) {
    const TestMessageResult& t = ctx.delivery.TestMessage;
    r = {t.Receiver, t.Type, t.Message, t.Status, StatusCode(t.StatusInt)};
  } else {
    return false;
  }
  return true;
}

// The row of an attempt, made at the time of the attempt.
KeptAlarmRow RowOf(Varnel& ctx, int index, const std::string& listName) {
  KeptAlarmRow row;
  row.DateAndTime = ctx.clock.Now().Text();
  AlarmRecord r;
  row.known = Record(ctx, index, listName, r);
  if (row.known) {
    row.Receiver = LeftChars(r.receiver, kReceiverChars);
    row.Message = CrLfToGroupBreaks(LeftChars(r.message, kMessageChars));
    row.SendStatus = LeftChars(r.status, kStatusChars);
    row.SendStatusInt = r.statusInt;
    row.SendType = LeftChars(r.type, kSendTypeChars);
  }
  return row;
}

void AddAlarmRow(Database& db, std::int64_t logIndex, const KeptAlarmRow& row) {
  Table t = db.Open("LogFiles_Alarm");
  t.AddNew();
  t.Set("Index", logIndex);
  t.Set("DateAndTime", row.DateAndTime);
  if (row.known) {
    t.Set("Receiver", row.Receiver);
    t.Set("Message", row.Message);
    t.Set("SendStatus", row.SendStatus);
    t.Set("SendStatusInt", static_cast<std::int64_t>(row.SendStatusInt));
    t.Set("SendType", row.SendType);
  }
  t.Update();
}

// Writes the kept rows, then what addNew adds, in one transaction. When the database cannot
// be written for now, the kept rows and what keepNew adds wait for a later write.
template <class AddNew, class KeepNew>
void WriteOrKeepAlarmRows(Varnel& ctx, std::deque<KeptAlarmRow> rows, std::size_t waited,
                          AddNew&& addNew, KeepNew&& keepNew, bool retry) {
  GuardedWriteOrKeep(
      ctx, "UpdateAlarmLog", retry, waited, "alarm log", "rows",
      [&](Database& db) {
        db.Begin();
        for (const KeptAlarmRow& r : rows) {
          const std::optional<std::int64_t> logIndex =
              TakeDailyLogIndex(ctx, db, "LogIndexAlarm", ctx.clock.Now());
          if (logIndex) AddAlarmRow(db, *logIndex, r);
        }
        addNew(db);
        db.Commit();
        ctx.LogChanged = true;
      },
      [&] {
        keepNew(rows);
        ReportDroppedRows(ctx, "UpdateAlarmLog", KeepRows(ctx.logs.alarms, std::move(rows)),
                          "alarm log rows");
      });
}

}  // namespace

std::optional<std::int64_t> TakeDailyLogIndex(const Varnel& ctx, Database& db, const char* counter,
                                              const LocalTime& now) {
  int c;
  {
    Table g = db.Open("Settings_General");
    c = g.Int16(counter);
    g.Set(counter, static_cast<std::int64_t>(c) + 1);
    g.Update();
  }
  if (c > kMaxAlarmLogIndex) return std::nullopt;
  const std::string date =
      now.hour < ctx.LastHour ? AddMinutes(now, -60).DateText() : now.DateText();
  return static_cast<std::int64_t>(DayStamp(date)) + c;
}

void UpdateAlarmLog(Varnel& ctx, int index, const std::string& listName) {
  std::deque<KeptAlarmRow> rows;
  rows.swap(ctx.logs.alarms);
  const std::size_t waited = rows.size();
  // The new row is made before the write; an index outside its list is reported once the
  // kept rows are written and the counter has advanced for it.
  std::optional<KeptAlarmRow> row;
  std::exception_ptr badIndex;
  try {
    row = RowOf(ctx, index, listName);
  } catch (const std::exception&) {
    badIndex = std::current_exception();
  }
  WriteOrKeepAlarmRows(
      ctx, std::move(rows), waited,
      [&](Database& db) {
        const std::optional<std::int64_t> logIndex =
            TakeDailyLogIndex(ctx, db, "LogIndexAlarm", ctx.clock.Now());
        if (badIndex) std::rethrow_exception(badIndex);
        if (logIndex) AddAlarmRow(db, *logIndex, *row);
      },
      [&](std::deque<KeptAlarmRow>& kept) {
        if (row) kept.push_back(std::move(*row));
      },
      false);
}

void WriteKeptLogRows(Varnel& ctx) {
  WriteKeptEventRows(ctx);
  if (!ctx.logs.alarms.empty() && !ctx.logs.failedThisCycle) {
    std::deque<KeptAlarmRow> rows;
    rows.swap(ctx.logs.alarms);
    const std::size_t waited = rows.size();
    WriteOrKeepAlarmRows(
        ctx, std::move(rows), waited, [](Database&) {}, [](std::deque<KeptAlarmRow>&) {}, true);
  }
  ctx.logs.failedThisCycle = false;
}

void ForwardSendStatus(Varnel& ctx, int index, const std::string& listName) {
  AlarmRecord r;
  bool known = false;
  Guarded(ctx, "ForwardSendStatus", [&] { known = Record(ctx, index, listName, r); });
  if (known) ForwardSendStatus(ctx, r.receiver, r.type, r.message, r.statusInt, r.status);
}

}  // namespace varnel
