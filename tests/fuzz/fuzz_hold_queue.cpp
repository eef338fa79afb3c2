// Fuzzes the hold queue: the line reader and writer, and a whole run of SuppGroupCheck_Hq on a
// fuzzed "Hold_Queue.log" against a real database. Checks that no entry of a group the run
// does not own is lost and that every written line reads back as an entry.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "filter/hold_queue.h"
#include "platform/database.h"
#include "platform/files.h"
#include "support/program_home.h"

namespace {

// Groups "a" to "d" cover expiry with escalation, reminders and up events.
struct Home : varnel::testing::ProgramHome {
  Home() {
    varnel::Database(ctx.DatabasePath())
        .Exec(
            "INSERT INTO SuppGrp_Perm (Name, HoldTimer, RemindTimer, RemindOnce, "
            "EscalateWhenExp, SendMessWhenExp, NewMessage, PriorityUp, PrioritySearchUp, "
            "MessageUp, SendMessWhenUp, ReqAck) VALUES "
            "('a', 10, 4, 1, 1, 0, '$M', '5', '=', 'First Part Equal', 1, 0), "
            "('b', 10, 4, 0, 1, 1, 'escalated', '5', '=', 'First Part Equal', 1, 0), "
            "('c', 10, 4, 1, 0, 1, 'escalated', '5', '=', 'First Part Equal', 1, 0), "
            "('d', 10, 4, 0, 0, 1, 'escalated', '5', '=', 'First Part Equal', 1, 1)");
    ctx.events.Append("2026-06-26 10:14:00", "5 - Normal", "node", "link up", "Syslog");
  }
};

// Entries of groups the run does not own among the first 300 entries of the queue file.
std::size_t Foreign(const Home& home) {
  std::size_t n = 0, foreign = 0;
  for (const std::string& line : home.Lines("Hold_Queue.log")) {
    varnel::HeldEntry e;
    if (varnel::ParseHoldQueueLine(line, e) && ++n <= 300 &&
        (e.GroupName.size() != 1 || e.GroupName[0] < 'a' || e.GroupName[0] > 'd'))
      ++foreign;
  }
  return foreign;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Home home;
  const std::string path = home.ctx.Path("Hold_Queue.log");
  varnel::testing::WriteBytes(path, data, size);

  // The reader: every written line reads back with the same fields.
  for (const std::string& line : varnel::ReadLines(path)) {
    varnel::HeldEntry e, again;
    if (!varnel::ParseHoldQueueLine(line, e)) continue;
    std::string written = varnel::FormatHoldQueueLine(e);
    if (written.find_first_of("\r\n") != std::string::npos ||
        !varnel::ParseHoldQueueLine(written, again) || again.GroupName != e.GroupName ||
        again.NodeName != e.NodeName || again.Message != e.Message)
      std::abort();
  }
  // A whole run: entries of other groups among the first 300 all stay.
  std::size_t foreign = Foreign(home);
  home.ctx.ReqAckIdCounter = 900;
  varnel::SuppGroupCheck_Hq(home.ctx);
  if (home.ctx.ErrorCount != 0 || Foreign(home) < foreign) std::abort();
  varnel::DeleteFile(home.ctx.Path("Event.log"));
  varnel::DeleteFile(home.ctx.Path("ReqAck.log"));
  return 0;
}
