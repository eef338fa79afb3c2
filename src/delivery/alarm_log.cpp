#include "delivery/alarm_log.h"

#include <charconv>
#include <cstdint>

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
  Guarded(ctx, "UpdateAlarmLog", [&] {
    Database db = OpenDatabase(ctx);
    db.Begin();
    const LocalTime now = ctx.clock.Now();
    const std::optional<std::int64_t> logIndex = TakeDailyLogIndex(ctx, db, "LogIndexAlarm", now);
    if (!logIndex) return;
    Table t = db.Open("LogFiles_Alarm");
    t.AddNew();
    t.Set("Index", *logIndex);
    t.Set("DateAndTime", now.Text());
    AlarmRecord r;
    if (Record(ctx, index, listName, r)) {
      t.Set("Receiver", LeftChars(r.receiver, kReceiverChars));
      t.Set("Message", CrLfToGroupBreaks(LeftChars(r.message, kMessageChars)));
      t.Set("SendStatus", LeftChars(r.status, kStatusChars));
      t.Set("SendStatusInt", static_cast<std::int64_t>(r.statusInt));
      t.Set("SendType", LeftChars(r.type, kSendTypeChars));
    }
    t.Update();
    db.Commit();
    ctx.LogChanged = true;
  });
}

void ForwardSendStatus(Varnel& ctx, int index, const std::string& listName) {
  AlarmRecord r;
  bool known = false;
  Guarded(ctx, "ForwardSendStatus", [&] { known = Record(ctx, index, listName, r); });
  if (known) ForwardSendStatus(ctx, r.receiver, r.type, r.message, r.statusInt, r.status);
}

}  // namespace varnel
