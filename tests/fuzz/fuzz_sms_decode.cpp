// libFuzzer target: SMS-DELIVER PDU decoding of the whole input, with and without a service
// centre field, and of the PDUs found in it read as a +CMGL message listing of a terminal.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/error.h"
#include "transports/sms_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> pdus = {input, varnel::StripSmscField(input)};
  for (const varnel::ListedSms& sms : varnel::ParseCmglListing(input, 50)) {
    if (sms.index.empty() || sms.index.size() > 5) __builtin_trap();
    pdus.push_back(varnel::StripSmscField(sms.pdu));
  }
  for (const std::string& pdu : pdus) {
    try {
      varnel::DecodeSmsDeliver(pdu);
    } catch (const varnel::VarnelError&) {
    }
  }
  return 0;
}
