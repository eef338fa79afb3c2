// libFuzzer target: what a paging centre sends, read as UCP reply frames (status, the
// centre's words, a delivery notification and its message hex) and as a TAP block answer.
#include <cstddef>
#include <cstdint>
#include <string>

#include "transports/paging_charset.h"
#include "transports/tap.h"
#include "transports/ucp.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string buffer(reinterpret_cast<const char*>(data), size);
  std::string text;
  varnel::TapBlockReply(buffer, text);
  std::string frame;
  while (varnel::UcpTakeFrame(buffer, frame)) {
    varnel::UcpReplyStatus(frame, "oper", text);
    varnel::Ucp30DeliveryStatus(frame, "oper", text);
    std::string trn, hex;
    if (varnel::UcpNotification(frame, trn, hex)) {
      if (trn.size() > frame.size() || hex.size() > frame.size()) __builtin_trap();
      varnel::IA5IntUCP_Rev(hex);
      varnel::UcpNotificationAck(trn);
    }
  }
  return 0;
}
