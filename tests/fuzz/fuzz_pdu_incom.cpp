// libFuzzer target: SMS-DELIVER PDU decoding of received messages.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/error.h"
#include "transports/sms_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string pdu(reinterpret_cast<const char*>(data), size);
  for (const std::string& p : {pdu, varnel::StripSmscField(pdu)}) {
    try {
      varnel::DecodeSmsDeliver(p);
    } catch (const varnel::VarnelError&) {
    }
  }
  return 0;
}
