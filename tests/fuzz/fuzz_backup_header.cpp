// Fuzz target: the header line of a database transfer. Besides not crashing: a complete
// header has a positive 32-bit length, lies within the block and ends in CR LF; the
// sender's own line for that length parses back to it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "maintenance/backup_header.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view block(reinterpret_cast<const char*>(data), size);
  varnel::BackupHeader h;
  varnel::HeaderParse p = varnel::ParseBackupHeader(block, h);
  if (p == varnel::HeaderParse::Incomplete &&
      (block.find("\r\n") != std::string_view::npos || size >= varnel::kMaxHeaderBytes))
    std::abort();
  if (p != varnel::HeaderParse::Complete) return 0;
  if (h.length < 1 || h.length > INT32_MAX || h.size > size || h.size > varnel::kMaxHeaderBytes ||
      block.substr(h.size - 2, 2) != "\r\n" || h.name.find("---") != std::string::npos)
    std::abort();
  varnel::BackupHeader back;
  if (varnel::ParseBackupHeader(varnel::BackupHeaderLine(h.length), back) !=
          varnel::HeaderParse::Complete ||
      back.length != h.length)
    std::abort();
  return 0;
}
