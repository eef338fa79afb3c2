// Fuzz target: the three panel parsers fed in reads of varying size. The first byte picks the
// panel type and the read size; no buffer may outgrow its size and no event text may carry a
// control character.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "intake/panel_parsers.h"

namespace {

void Check(const varnel::PanelRead& r, const std::string& buffer, const char* type) {
  if (buffer.size() > varnel::PanelBufferSize(type)) std::abort();
  for (const auto& e : r.events)
    for (const std::string* s : {&e.priority, &e.node, &e.message})
      for (char c : *s)
        if (static_cast<unsigned char>(c) < 0x20) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  static const char* const kTypes[] = {varnel::kPanelCerberus, varnel::kPanelNms10,
                                       varnel::kPanelTecoma};
  const char* type = kTypes[data[0] % 3];
  std::size_t chunk = 1 + (data[0] >> 2) * 16;  // 1 to 1009 characters a read
  std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
  std::string buffer;
  for (std::size_t at = 0; at < input.size(); at += chunk)
    Check(varnel::ReadPanelOutput(type, buffer, input.substr(at, chunk), "t"), buffer, type);
  for (int i = 0; i < 4; ++i) Check(varnel::ReadPanelOutput(type, buffer, "", "t"), buffer, type);
  return 0;
}
