// The archive that carries the database from the primary to the standby, and the check a
// received database passes before it replaces the live one.
#pragma once
#include <cstdint>
#include <string>

namespace varnel {

inline constexpr const char* kArchiveEntry = "Varnel.mdb";
// Largest database the standby unpacks; a bigger entry is refused, not written.
inline constexpr std::uint64_t kMaxUnpackedBytes = std::uint64_t{1} << 30;
// Classic "Invalid file format": an archive or database that cannot be used.
inline constexpr int kInvalidFileFormat = 321;

// Packs the file database into a new archive at zip as its single entry "Varnel.mdb".
void PackDatabase(const std::string& database, const std::string& zip);

// Writes the entry "Varnel.mdb" of the archive zip (and nothing else, whatever the other
// entries are called) to target, synced. Raises 321 for an archive without that entry, a
// damaged one, or an entry above kMaxUnpackedBytes; target is then removed.
void UnpackDatabase(const std::string& zip, const std::string& target);

// Raises 321 unless candidate is a sound database (integrity check "ok") that holds every
// table of reference.
void CheckReceivedDatabase(const std::string& candidate, const std::string& reference);

}  // namespace varnel
