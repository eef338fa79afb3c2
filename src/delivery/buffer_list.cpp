#include "delivery/alarm_log.h"
#include "delivery/journal_and_buffer.h"
#include "delivery/process_send_list.h"
#include "filter/duty_time.h"
#include "service/errors.h"

namespace varnel {
namespace {

// Buffered messages older than this many day boundaries are dropped unsent.
constexpr std::int64_t kMaxBufferDays = 3;

// Midnights passed from the day of from to the day of to.
std::int64_t DayBoundaries(LocalTime from, LocalTime to) {
  from.hour = from.minute = from.second = 0;
  to.hour = to.minute = to.second = 0;
  return SecondsBetween(from, to) / 86400;
}

bool TooOld(const BufferEntry& b, const LocalTime& now) {
  LocalTime added;
  // An entry whose time cannot be read has no age to wait out.
  if (!ParseTimeText(b.BufferRecvDateAdded, added)) return true;
  return DayBoundaries(added, now) > kMaxBufferDays;
}

// Delivers a buffer entry through the transport of its type; the result fields, and the
// text when the transport changes it, are written back to the entry.
void DeliverBufferEntry(Varnel& ctx, BufferEntry& b) {
  SendEntry e;
  e.RecvName = b.BufferRecvName;
  e.RecvType = b.BufferRecvType;
  e.RecvAddr = b.BufferRecvAddr;
  e.RecvOper = b.BufferRecvOper;
  e.RecvMess = b.BufferRecvMess;
  e.RecvPagerNumMoCall = b.BufferRecvPagerNumMoCall;
  e.RecvPagerNumCode = b.BufferRecvPagerNumCode;
  e.RecvPagerNumDelay = b.BufferRecvPagerNumDelay;
  DeliverSendEntry(ctx, e);
  b.BufferRecvMess = e.RecvMess;
  b.BufferRecvSendStatusInt = e.RecvSendStatusInt;
  b.BufferRecvSendStatus = e.RecvSendStatus;
}

}  // namespace

void ProcessBufferList(Varnel& ctx) {
  Guarded(ctx, "ProcessBufferList", [&] {
    auto& list = ctx.delivery.BufferList;
    const LocalTime now = ctx.clock.Now();
    for (BufferEntry& b : list)
      if (!b.Free() && TooOld(b, now)) b = BufferEntry{};
    for (int k = 1; k <= kMaxBufferList; ++k) {
      BufferEntry& b = list[k];
      if (b.Free()) continue;
      // The duty hours stored when the message was buffered decide, not today's settings.
      if (!DutyTimeCheck(ctx.clock, b.BufferRecvDutyTime[static_cast<std::size_t>(now.weekday)]))
        continue;
      DeliverBufferEntry(ctx, b);
      UpdateAlarmLog(ctx, k, kBufferList);
      ForwardSendStatus(ctx, k, kBufferList);
      b = BufferEntry{};  // one attempt, whatever its result
    }
  });
}

}  // namespace varnel
