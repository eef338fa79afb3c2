// Fuzz target for the SNMP message decoder. Besides not crashing, a message that decodes must
// encode again (unless it holds an Integer beyond 32 bits, which only the decoder accepts)
// and decode to the same message.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/error.h"
#include "platform/snmp/snmp_message.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace varnel::snmp;
  auto m = Decode(std::string_view(reinterpret_cast<const char*>(data), size));
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
  auto back = Decode(again);
  if (!back || Encode(*back) != again) std::abort();
  return 0;
}
