// Writes the event list to the event log table with daily running indexes.
#pragma once
#include <cstdint>
#include <deque>
#include <string>

#include "service/errors.h"
#include "service/varnel.h"

namespace varnel {

constexpr int kMaxLogRowsPerDay = 3000;

// Day stamp of a "YYYY-MM-DD" date: last year digit * 10^8 + month * 10^6 + day * 10^4.
std::int32_t DayStamp(const std::string& date);

// Writes the rows kept from earlier calls, then entries 1 to Count of the event list. When
// the database cannot be written for now, the rows are kept for a later call.
void UpdateEventLog(Varnel& ctx);

// Database errors after which the same write may succeed later: the database locked by
// another program, no memory, a disk I/O error, a full disk, a file that cannot be opened.
bool PassingDatabaseError(int number);

// Appends rows to kept, at most kMaxKeptLogRows in all; returns how many did not fit.
template <class Row>
std::size_t KeepRows(std::deque<Row>& kept, std::deque<Row>&& rows) {
  std::size_t dropped = 0;
  for (Row& r : rows) {
    if (kept.size() < kMaxKeptLogRows)
      kept.push_back(std::move(r));
    else
      ++dropped;
  }
  return dropped;
}

// Runs write(db) on a new connection. When it fails for a passing reason, its transaction is
// undone (so no part of it stays written) and keep() is called; the error then goes on to
// the caller's guard as any other. Once a write of the cycle has failed so, keep() is called
// without trying and the result is false; true when written.
template <class Write, class Keep>
bool WriteOrKeep(Varnel& ctx, Write&& write, Keep&& keep) {
  // After a failure in this cycle the rows wait at once: another busy wait on a locked
  // database would only hold up the deliveries still to come.
  if (ctx.logs.failedThisCycle) {
    keep();
    return false;
  }
  try {
    Database db = OpenDatabase(ctx);
    try {
      write(db);
      return true;
    } catch (const VarnelError& e) {
      if (PassingDatabaseError(e.Number())) db.Rollback();
      throw;
    }
  } catch (const VarnelError& e) {
    if (PassingDatabaseError(e.Number())) {
      ctx.logs.failedThisCycle = true;
      keep();
    }
    throw;
  }
}

// Guarded for a retry of kept rows: a passing database error is not reported again (it was
// when the rows were first kept); any other error is.
template <class Body>
bool GuardedRetry(Varnel& ctx, const std::string& procedure, Body&& body) {
  try {
    body();
    return true;
  } catch (const std::exception& e) {
    const int number = ErrorNumberOf(e);
    if (!PassingDatabaseError(number)) ReportError(ctx, procedure, number, e.what());
  }
  return false;
}

// WriteOrKeep under the guard of procedure (GuardedRetry for a retry of kept rows). When rows
// that had waited got written, says so: "The <log> was written late: N <rows> waited ...".
template <class Write, class Keep>
void GuardedWriteOrKeep(Varnel& ctx, const std::string& procedure, bool retry, std::size_t waited,
                        const std::string& log, const std::string& rows, Write&& write,
                        Keep&& keep) {
  bool wrote = false;
  auto body = [&] { wrote = WriteOrKeep(ctx, write, keep); };
  const bool guarded = retry ? GuardedRetry(ctx, procedure, body) : Guarded(ctx, procedure, body);
  if (guarded && wrote && waited > 0)
    Notice(ctx, evt::kInformation,
           "The " + log + " was written late: " + std::to_string(waited) + " " + rows +
               " waited while the database could not be written.");
}

// Reports rows that did not fit among the kept ones of a log.
void ReportDroppedRows(Varnel& ctx, const std::string& procedure, std::size_t dropped,
                       const std::string& what);

// Writes the event rows still kept, unless a write failed earlier in this cycle; called once
// at the end of every cycle.
void WriteKeptEventRows(Varnel& ctx);

}  // namespace varnel
