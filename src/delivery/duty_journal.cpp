#include <cctype>

#include "delivery/alarm_log.h"
#include "delivery/journal_and_buffer.h"
#include "delivery/process_send_list.h"
#include "delivery/send_list.h"
#include "service/errors.h"

namespace varnel {
namespace {

constexpr const char* kProcedure = "ProcessJourList";

// The day ("YYYY-MM-DD") and hour of a journal row. Time may be a full date and time or a
// bare "HH:MM:SS"; only its hour counts. False when either cannot be read.
bool ReadJournalTime(const std::string& date, const std::string& time, std::string& day,
                     int& hour) {
  LocalTime d;
  if (!ParseTimeText(date.substr(0, 10), d)) return false;
  day = d.DateText();
  const std::size_t space = time.find(' ');
  const std::string t = space == std::string::npos ? time : time.substr(space + 1);
  std::size_t digits = 0;
  while (digits < t.size() && digits < 2 && std::isdigit(static_cast<unsigned char>(t[digits])))
    ++digits;
  if (digits == 0 || (digits < t.size() && t[digits] != ':')) return false;
  hour = std::stoi(t.substr(0, digits));
  return hour <= 23;
}

// Puts a hand-over notice for the receiver into the next send list entry; every notice
// counts, so one for an unknown or off-duty receiver leaves its entry free.
void AddNotice(Varnel& ctx, ReceiverTables& tables, const std::string& message,
               const std::string& name, const std::string& type, int& n) {
  ReceiverParameters p = GetSendParameters(ctx, tables, message, name, type);
  if (++n > kMaxSendList || !p.Valid) return;
  FillSendEntry(ctx.delivery.SendList[n], name, type, message, p);
}

// Makes the journal row's receiver the first receiver of every group of that name. A row
// naming a receiver or a group that does not exist is reported and not applied: a group
// would otherwise lose its first receiver to a name that cannot be delivered to.
bool ApplyHandOver(Varnel& ctx, Database& db, ReceiverTables& tables, Table& row, int& n) {
  const std::string group = row.Text("SupportGroup");
  const std::string name = row.Text("RecvName1");
  const std::string type = row.Text("RecvType1");
  if (!ReceiverExists(tables, name, type)) {
    ReportError(ctx, kProcedure, err::kItemNotFound,
                "Receiver not found: " + name + " (" + type + ") for support group " + group);
    return false;
  }
  bool found = false;
  for (Table g = db.Open("SuppGrp_Perm"); !g.Eof(); g.MoveNext()) {
    if (g.Text("Name") != group) continue;
    found = true;
    if (ctx.NotifyDutyListOnOff) {
      AddNotice(ctx, tables, group + ": On Duty List", name, type, n);
      AddNotice(ctx, tables, group + ": Off Duty List", g.Text("RecvName1"), g.Text("RecvType1"),
                n);
    }
    g.Set("RecvName1", name);
    g.Set("RecvType1", type);
    g.Update();
  }
  if (!found) ReportError(ctx, kProcedure, err::kItemNotFound, "Support group not found: " + group);
  return found;
}

}  // namespace

void ProcessJourList(Varnel& ctx) {
  Guarded(ctx, kProcedure, [&] {
    auto& list = ctx.delivery.SendList;
    for (SendEntry& e : list) e = SendEntry{};
    int n = 0;
    {
      Database db = OpenDatabase(ctx);
      ReceiverTables tables(db);
      const LocalTime now = ctx.clock.Now();
      const std::string today = now.DateText();
      for (Table row = db.Open("SuppGrp_Jour"); !row.Eof(); row.MoveNext()) {
        std::string day;
        int hour = 0;
        if (!ReadJournalTime(row.Text("Date"), row.Text("Time"), day, hour)) {
          ReportError(ctx, kProcedure, err::kTypeMismatch,
                      "Type mismatch: duty journal row " + row.Text("Date") + " " +
                          row.Text("Time") + " of " + row.Text("SupportGroup"));
          continue;
        }
        if (day == today && hour == now.hour) {
          if (ApplyHandOver(ctx, db, tables, row, n)) row.Delete();
        } else if (day < today) {
          row.Delete();
        }
      }
    }
    for (int i = 1; i <= kMaxSendList; ++i) {
      if (list[i].Free()) continue;
      DeliverSendEntry(ctx, list[i]);
      UpdateAlarmLog(ctx, i, kSendList);
      ForwardSendStatus(ctx, i, kSendList);
    }
  });
}

}  // namespace varnel
