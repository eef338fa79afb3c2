// libFuzzer target: the +CMGL message listing of a terminal, and the PDUs found in it.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/error.h"
#include "transports/sms_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string reply(reinterpret_cast<const char*>(data), size);
  for (const varnel::ListedSms& sms : varnel::ParseCmglListing(reply, 50)) {
    if (sms.index.empty() || sms.index.size() > 5) __builtin_trap();
    try {
      varnel::DecodeSmsDeliver(varnel::StripSmscField(sms.pdu));
    } catch (const varnel::VarnelError&) {
    }
  }
  return 0;
}
