// Fuzz target for the SNMP message decoder. Besides not crashing, a message that decodes must
// encode again (unless it holds an Integer beyond 32 bits, which only the decoder accepts)
// and decode to the same message. Decoding into a message kept from the input before must give
// the same message as decoding afresh.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/error.h"
#include "platform/snmp/snmp_message.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace varnel::snmp;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  auto m = Decode(input);
  static Message kept;
  if (DecodeInto(input, kept) != m.has_value()) std::abort();
  if (!m) return 0;
  std::string again;
  try {
    again = Encode(*m);
  } catch (const varnel::VarnelError&) {
    for (const auto& v : m->variables) {
      long long n = std::strtoll(v.value.c_str(), nullptr, 10);
      if (v.type == vt::kInteger && (n < INT32_MIN || n > INT32_MAX)) return 0;
    }
    std::abort();
  }
  // Encoding keeps every field, so equal bytes mean the same message.
  if (Encode(kept) != again) std::abort();
  auto back = Decode(again);
  if (!back || Encode(*back) != again) std::abort();
  return 0;
}
