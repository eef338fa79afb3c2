// What the support group filter and the hold queue share: the alarm text of an event, the
// priority test, the group table entries, acknowledgement requests and drop-file fields.
#pragma once
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "platform/database.h"
#include "service/state/filter_state.h"
#include "service/varnel.h"

namespace varnel {

// Which parts of an event the alarm text carries (the row of Event_CheckInterval).
struct MessageFormat {
  bool SendDate = false;
  bool SendTime = false;
  bool SendNodeName = false;
  long SendNodeNameMaxChar = 0;
  bool SendPriority = false;
  bool SendMessage = false;
  long SendMessageMaxChar = 0;
};
MessageFormat ReadMessageFormat(Table& checkInterval);

// The alarm text of one event: date, time, node, priority and message as the format selects,
// separated by ", ". A negative character limit counts as 0.
std::string ComposeEventText(const MessageFormat& format, std::string_view dateAndTime,
                             std::string_view nodeName, std::string_view priority,
                             std::string_view message);

// The number a severity word begins with; 0 when it does not begin with a digit.
int PriorityNumber(std::string_view priority);
// "<=", "=" or ">=" between the event's priority number and the group's; anything else
// never holds.
bool PriorityCondition(std::string_view eventPriority, std::string_view groupPriority,
                       std::string_view search);

// Fills a free entry with the group's name and receivers from its row of SuppGrp_Perm.
void FillGroupEntry(SuppGroupEntry& entry, Table& group);

// A group's alarm texts: each appended text is preceded by ">>"; Finish drops the leading one.
void AppendGroupText(SuppGroupEntry& entry, std::string_view text);
void FinishGroupText(SuppGroupEntry& entry, long maxChars, long cutTo);

// The next acknowledgement identifier after counter: 901 .. 999, then 901 again.
int NextReqAckId(int counter);
// Prefixes the entry's text with "<ID=nnn> " and returns the "ReqAck.log" line for it.
std::string AckRequest(SuppGroupEntry& entry, int id, const LocalTime& now, int waitMinutes,
                       int maxReminders);

// A field of a TAB-separated drop-file line: TAB, CR and LF become blanks so the field can
// neither split the line nor the record.
std::string DropFileField(std::string_view text);

// The trace dump of a group table: title line, then the twelve labelled lines and an empty
// line per used entry, then a final empty line.
void TraceGroupTable(Varnel& ctx, const std::string& title, const std::string& prefix,
                     const SuppGroupTable& table);

inline constexpr const char* kHoldQueueFile = "Hold_Queue.log";
inline constexpr const char* kReqAckFile = "ReqAck.log";
inline constexpr const char* kEventLogFile = "Event.log";

}  // namespace varnel
