// Acknowledgement requests: the reminders of "ReqAck.log", the program run when nobody
// acknowledges, and the record and trap of every acknowledgement.
#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "delivery/process_send_list.h"
#include "service/varnel.h"

namespace varnel {

// Entries of "ReqAck.log" handled in one run; the later ones wait unchanged for the next.
constexpr int kMaxReqAckEntries = 50;
// Characters kept of the acknowledgement information.
constexpr long kAckInfoChars = 200;

// One line of "ReqAck.log": group TAB identifier TAB due time TAB reminders left TAB text.
struct ReqAckEntry {
  std::string GroupName;
  int AlarmId = 0;
  std::string DueTime;  // "YYYY-MM-DD HH:MM:SS"
  int Reminders = 0;
  std::string Text;  // the alarm text with its "<ID=nnn> " prefix
};

// Parses a line; false when a field is missing or not of its kind.
bool ParseReqAckEntry(std::string_view line, ReqAckEntry& out);
std::string ReqAckLine(const ReqAckEntry& entry);

// ReqAckRunProg split into program and parameters after the first known extension (".exe",
// ".com", ".bat", ".vbs", ".sh", ".py", ".pl") that ends a word; without one the first word
// is the program.
struct ProgramCall {
  std::string program;
  std::string parameters;
};
ProgramCall SplitRunProg(std::string_view text);

// The parameters with "$N", "$A", "$O" and "$M" replaced in one pass (a value that holds one
// of these is not replaced again).
std::string ExpandRunProgParameters(std::string_view parameters, const std::string& name,
                                    const std::string& alarmId, const std::string& oper,
                                    const std::string& message);

// The Recv_Phone_MO row of a sender's number: trimmed, a leading "+" on either side ignored;
// an empty number matches nobody.
struct PhoneReceiver {
  std::string Name;
  std::string PhoneNumber;
  std::string Operator;
};
std::optional<PhoneReceiver> FindPhoneReceiver(Varnel& ctx, const std::string& number);

// The reminder run: every due entry is sent again to its group's receivers; the last
// reminder may run ReqAckRunProg. The transport is replaceable for tests.
void ProcessReqAckLog(Varnel& ctx);
void ProcessReqAckLog(Varnel& ctx, Transport deliver);

// An acknowledgement from a sender: drops the pending request and records and forwards the
// answer (also when nothing was pending). A status that is no number becomes 1.
void ProcessReqAckClear(Varnel& ctx, const std::string& sender, int alarmId,
                        const std::string& status, const std::string& info);

// One LogFiles_ReqAck row under the day's running index LogIndexReqAck; sets LogChanged.
void UpdateReqAckLog(Varnel& ctx, int alarmId, const std::string& receiver, int ackStatus,
                     const std::string& ackInfo);

}  // namespace varnel
