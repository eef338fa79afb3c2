// Daily log housekeeping: restarts the running numbers of the log tables and moves rows
// older than DelOldLogDays into plain-text files in the Backup directory.
#pragma once
#include <string>

#include "service/varnel.h"

namespace varnel {

inline constexpr const char* kStatusDeleteOld = "Delete old entries from log files ...";

// Runs at the first cycle of a new day. Each table's old rows are appended to its export
// file, which is synced before the rows are deleted in the same transaction; a failure
// leaves the rows in the table (the next run exports them again) and the next table is
// still handled.
void DeleteOldLogEntries(Varnel& ctx);

}  // namespace varnel
