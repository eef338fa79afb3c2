// Fuzz target for the SNMP message decoder. Besides not crashing, a message that decodes must
// encode again (unless it holds an Integer beyond 32 bits, which only the decoder accepts)
// and decode to the same message.
// fuzz-sources: src/platform/snmp/ber.cpp src/platform/snmp/snmp_message.cpp src/platform/error.cpp
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/error.h"
#include "platform/snmp/snmp_message.h"

using namespace varnel::snmp;

namespace {

bool Same(const Message& a, const Message& b) {
  if (a.version != b.version || a.community != b.community || a.pduType != b.pduType ||
      a.requestId != b.requestId || a.errorStatus != b.errorStatus ||
      a.errorIndex != b.errorIndex || a.enterprise != b.enterprise ||
      a.agentAddress != b.agentAddress || a.genericTrap != b.genericTrap ||
      a.specificTrap != b.specificTrap || a.timeStamp != b.timeStamp ||
      a.variables.size() != b.variables.size())
    return false;
  for (std::size_t i = 0; i < a.variables.size(); ++i)
    if (a.variables[i].oid != b.variables[i].oid || a.variables[i].value != b.variables[i].value ||
        a.variables[i].type != b.variables[i].type)
      return false;
  return true;
}

bool HasWideInteger(const Message& m) {
  for (const auto& v : m.variables) {
    if (v.type != vt::kInteger) continue;
    long long n = std::strtoll(v.value.c_str(), nullptr, 10);
    if (n < INT32_MIN || n > INT32_MAX) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto m = Decode(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!m) return 0;
  std::string again;
  try {
    again = Encode(*m);
  } catch (const varnel::VarnelError&) {
    if (!HasWideInteger(*m)) std::abort();
    return 0;
  }
  auto back = Decode(again);
  if (!back || !Same(*m, *back)) std::abort();
  return 0;
}
