// log: the event, alarm and acknowledgement logs as aligned text or JSON lines, optionally
// followed as the service adds rows.
#include <chrono>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "admin/ops.h"
#include "admin/ops_common.h"
#include "platform/clock.h"

namespace varnel::admin {
namespace {

struct LogTable {
  const char* word;
  const char* table;
  const char* columns;
};

constexpr LogTable kLogs[] = {
    {"events", "LogFiles_Event",
     "\"Index\", DateAndTime, Priority, NodeName, Message, EventSource"},
    {"alarms", "LogFiles_Alarm",
     "\"Index\", DateAndTime, Receiver, SendType, SendStatusInt, SendStatus, Message"},
    {"acks", "LogFiles_ReqAck", "Indexx, DateAndTime, AlarmID, Receiver, AckStatus, AckInfo"},
};

constexpr int kFollowPollMs = 500;

const LogTable& FindLog(const std::string& word) {
  for (const LogTable& l : kLogs)
    if (word == l.word) return l;
  throw BadInput("no log \"" + word + "\"; the logs are events, alarms and acks");
}

// The rows after rowid `after`; the first column (the rowid) is taken off into `last`.
Rows RowsAfter(Database& db, const LogTable& log, const std::string& since, std::string& last) {
  Rows r = Query(db,
                 std::string("SELECT rowid, ") + log.columns + " FROM " + log.table +
                     " WHERE rowid > ? AND DateAndTime >= ? ORDER BY rowid",
                 {last, since});
  r.columns.erase(r.columns.begin());
  for (auto& row : r.values) {
    last = row.front();
    row.erase(row.begin());
  }
  return r;
}

}  // namespace

int RunLog(const Args& args) {
  Options o = ParseOptions(args, {"--since"}, {"--follow", "--json"});
  if (o.positional.size() != 2)
    throw BadInput(
        "usage: varnel-admin log DIR events|alarms|acks [--since TIME] [--follow] [--json]");
  const LogTable& log = FindLog(o.positional[1]);
  std::string since;
  if (o.Has("--since")) {
    LocalTime t;
    since = o.Value("--since");
    if (!ParseTimeText(since, t))
      throw BadInput("--since takes \"YYYY-MM-DD\" or \"YYYY-MM-DD HH:MM:SS\", not \"" + since +
                     "\"");
  }
  const bool json = o.Has("--json"), follow = o.Has("--follow");
  auto opened = OpenProgramDatabase(o.positional[0]);
  Database& db = *opened;

  std::string last = "0";
  Rows rows = RowsAfter(db, log, since, last);
  AlignedPrinter printer(rows.columns);
  std::cout << (json ? JsonLines(rows) : printer.Block(rows.values));
  std::cout.flush();
  while (follow) {
    std::this_thread::sleep_for(std::chrono::milliseconds(kFollowPollMs));
    rows = RowsAfter(db, log, since, last);
    if (rows.values.empty()) continue;
    std::cout << (json ? JsonLines(rows) : printer.Block(rows.values));
    std::cout.flush();
  }
  return kExitOk;
}

}  // namespace varnel::admin
