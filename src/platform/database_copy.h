// A consistent copy of a live database file through SQLite's online backup API.
#pragma once
#include <string>

namespace varnel {

// Copies the database at source to target as one snapshot, even while other connections
// write to source. The copy is built in "target.tmp", synced and then renamed over target,
// so target is always either the previous copy or the complete new one. Raises 76 when
// the target's directory is missing and 3000 + code for database errors.
void CopyDatabase(const std::string& source, const std::string& target);

}  // namespace varnel
