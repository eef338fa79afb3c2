// The header line that opens a database transfer, "Varnel.zip---" length CR LF, and the
// time the sender gives a transfer of that length.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace varnel {

inline constexpr const char* kArchiveName = "Varnel.zip";
// A header line is short; a block this long without CR LF is not one.
inline constexpr std::size_t kMaxHeaderBytes = 256;

enum class HeaderParse { Incomplete, Invalid, Complete };

// The header line "name---length" CR LF at the start of block.
struct BackupHeader {
  std::string name;
  std::int64_t length = 0;  // 1 .. 2^31 - 1
  std::size_t size = 0;     // bytes of the line with its CR LF
};

// Incomplete while block holds no CR LF and is shorter than kMaxHeaderBytes; Invalid for a
// line without "---", or whose length is not 1 to 10 decimal digits of a positive 32-bit
// number.
HeaderParse ParseBackupHeader(std::string_view block, BackupHeader& out);

// "Varnel.zip---" length CR LF.
std::string BackupHeaderLine(std::int64_t length);

// Seconds the sender waits for the whole archive of length bytes to be taken.
std::int64_t BackupDeadlineSeconds(std::int64_t length);

}  // namespace varnel
