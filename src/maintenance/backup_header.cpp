#include "maintenance/backup_header.h"

#include <climits>

namespace varnel {

HeaderParse ParseBackupHeader(std::string_view block, BackupHeader& out) {
  std::size_t crlf = block.find("\r\n");
  if (crlf == std::string_view::npos)
    return block.size() < kMaxHeaderBytes ? HeaderParse::Incomplete : HeaderParse::Invalid;
  if (crlf + 2 > kMaxHeaderBytes) return HeaderParse::Invalid;
  std::string_view line = block.substr(0, crlf);
  std::size_t dashes = line.find("---");
  if (dashes == std::string_view::npos) return HeaderParse::Invalid;
  std::string_view digits = line.substr(dashes + 3);
  if (digits.empty() || digits.size() > 10) return HeaderParse::Invalid;
  std::int64_t length = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return HeaderParse::Invalid;
    length = length * 10 + (c - '0');
  }
  if (length < 1 || length > INT32_MAX) return HeaderParse::Invalid;
  out.name = std::string(line.substr(0, dashes));
  out.length = length;
  out.size = crlf + 2;
  return HeaderParse::Complete;
}

std::string BackupHeaderLine(std::int64_t length) {
  return std::string(kArchiveName) + "---" + std::to_string(length) + "\r\n";
}

std::int64_t BackupDeadlineSeconds(std::int64_t length) {
  if (length <= 1000000) return 10;
  return length / 1000000 * 4 + 10;
}

}  // namespace varnel
