// Fuzz target: Syslog message parsing under every parse option, and TCP framing (no
// message longer than the limit).
#include <cstdint>
#include <cstdlib>
#include <string>

#include "intake/syslog.h"
#include "platform/tcp_listener.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  varnel::SyslogSettings s;
  s.ModParse3164 = data[0] & 1;
  s.ModRemoveDAT = data[0] & 2;
  s.ModMaxLen = (data[0] & 4) ? 250 : 32767;
  s.ModDefFacility = "1 - User";
  s.ModDefPriority = "5 - Notice";
  std::string raw(reinterpret_cast<const char*>(data + 1), size - 1);
  auto w = varnel::ParseSyslogMessage(s, "t", "127.0.0.1", raw);
  varnel::SyslogSeverityToPriority(w.severity);
  varnel::MessageFramer framer;
  auto emit = [](std::string m) {
    if (m.size() > varnel::kMaxTcpMessage) std::abort();
  };
  framer.Feed(raw.data(), raw.size(), emit);
  framer.Finish(emit);
  return 0;
}
