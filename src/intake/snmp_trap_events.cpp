#include "intake/snmp_trap_events.h"

#include <netdb.h>
#include <sys/socket.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/event_loop.h"
#include "platform/files.h"
#include "platform/snmp/snmp_message.h"
#include "platform/snmp/snmp_socket.h"
#include "platform/text.h"
#include "service/errors.h"
#include "service/trace.h"

namespace varnel {
namespace {

constexpr int kDnsTimeoutMs = 5000;
constexpr int kSliceMs = 20;

void LetEventsRun(asio::io_context& io) {
  if (io.stopped()) io.restart();
  io.poll();
}

// The variable k (1..20) of a trap; an empty variable with no type when the trap has none.
const InTrapVar& TrapVar(const InTrapSlot& trap, int k) {
  static const InTrapVar kNone{};
  if (k < 1 || k > kTrapVariables) return kNone;
  return trap.InTrapVarList[static_cast<std::size_t>(k)];
}

// The received type code of a variable; -1 for a variable the trap does not carry.
int ReceivedType(const InTrapVar& v) {
  if (v.varType.empty() || v.varType.size() > 2) return -1;
  int t = 0;
  for (char c : v.varType) {
    if (c < '0' || c > '9') return -1;
    t = t * 10 + (c - '0');
  }
  return t;
}

bool IsReceivedType(const InTrapVar& v, int type) { return ReceivedType(v) == type; }

// k when text is exactly "$k" with k from 1 to 20, else 0.
int VariableCode(const std::string& text) {
  if (text.size() < 2 || text.size() > 3 || text[0] != '$') return 0;
  int k = 0;
  for (std::size_t i = 1; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return 0;
    k = k * 10 + (text[i] - '0');
  }
  return text[1] != '0' && k >= 1 && k <= kTrapVariables ? k : 0;
}

// Replaces every occurrence of from in text; replaced text is not searched again.
void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
  std::size_t p = 0;
  while ((p = text.find(from, p)) != std::string::npos) {
    text.replace(p, from.size(), to);
    p += to.size();
  }
}

// Bit k is set when "$k" (k from 1 to 20) occurs in text, also as the front of "$kN".
std::uint32_t VariableCodesIn(const std::string& text) {
  std::uint32_t codes = 0;
  auto digit = [&](std::size_t i) { return i < text.size() && text[i] >= '0' && text[i] <= '9'; };
  for (auto p = text.find('$'); p != std::string::npos; p = text.find('$', p + 1)) {
    if (!digit(p + 1) || text[p + 1] == '0') continue;
    int k = text[p + 1] - '0';
    codes |= 1u << k;
    if (digit(p + 2) && k * 10 + (text[p + 2] - '0') <= kTrapVariables)
      codes |= 1u << (k * 10 + (text[p + 2] - '0'));
  }
  return codes;
}

// The value of variable k with an Integer shown by its label from the definition.
std::string LabelledValue(const TrapDefinition& def, const InTrapSlot& trap, int k) {
  const InTrapVar& v = TrapVar(trap, k);
  if (IsReceivedType(v, snmp::vt::kInteger))
    return EnumerationLabel(v.varValue, def.SnmpTrapVarList[static_cast<std::size_t>(k)].varType);
  return v.varValue;
}

std::string TrapPriority(const TrapDefinition& def, const InTrapSlot& trap) {
  const std::string& p = def.SnmpTrapPriority;
  for (const char* word : {kCritical, kMajor, kMinor, kWarning, kNormal})
    if (p == word) return p;
  int k = VariableCode(p);
  if (!k) return kNormal;
  std::string v = ToUpper(Trim(FromWire(LabelledValue(def, trap, k))));
  if (v == "1" || v == "CRITICAL") return kCritical;
  if (v == "2" || v == "MAJOR") return kMajor;
  if (v == "0" || v == "3" || v == "MINOR" || v == "INDETERMINATE") return kMinor;
  if (v == "4" || v == "WARNING") return kWarning;
  return kNormal;
}

std::string TrapNodeName(Varnel& ctx, const TrapDefinition& def, const InTrapSlot& trap) {
  const std::string& t = def.SnmpTrapNodeName;
  std::string name;
  if (t == "$A") return FromWire(trap.InTrapSourceAgent);
  if (t == "$a") {
    MapIp2Name(ctx, FromWire(trap.InTrapSourceAgent), name);
    return name;
  }
  if (t == "$d") {
    ReverseDnsLookup(ctx, FromWire(trap.InTrapSourceAgent), name);
    return name;
  }
  if (t == "$R") return trap.InTrapSourceNetwork;
  if (t == "$r") {
    MapIp2Name(ctx, trap.InTrapSourceNetwork, name);
    return name;
  }
  if (t == "$e") {
    ReverseDnsLookup(ctx, trap.InTrapSourceNetwork, name);
    return name;
  }
  if (int k = VariableCode(t)) return FromWire(TrapVar(trap, k).varValue);
  return "";
}

// The letter codes of a message, in the order they are replaced.
constexpr char kLetterCodes[] = "AROoTXU";

// Bit i is set when "$" and letter i of kLetterCodes occur in text.
std::uint32_t LetterCodesIn(const std::string& text) {
  std::uint32_t codes = 0;
  for (auto p = text.find('$'); p != std::string::npos && p + 1 < text.size();
       p = text.find('$', p + 1)) {
    const char* at = std::strchr(kLetterCodes, text[p + 1]);
    if (at && *at) codes |= 1u << (at - kLetterCodes);
  }
  return codes;
}

std::string TrapMessage(Varnel& ctx, const TrapDefinition& def, const InTrapSlot& trap) {
  std::string m = def.SnmpTrapMessage;
  if (m.find('$') == std::string::npos) return m;
  // A value is converted only when its code is in the text. The codes present are found in
  // one scan, and again after each replacement, as an inserted value may hold one.
  std::uint32_t letters = LetterCodesIn(m);
  auto replace = [&](int i, auto value) {
    if (!(letters & (1u << i))) return;
    ReplaceAll(m, std::string{'$', kLetterCodes[i]}, value());
    letters = LetterCodesIn(m);
  };
  replace(0, [&] { return FromWire(trap.InTrapSourceAgent); });
  replace(1, [&] { return trap.InTrapSourceNetwork; });
  replace(2, [&] { return def.SnmpTrapName; });
  replace(3, [&] { return def.SnmpTrapOid; });
  replace(4, [&] { return FromWire(trap.InTrapCommunityName); });
  replace(5, [&] { return trap.InTrapTime; });
  replace(6, [&] { return FromWire(trap.InTrapSysUpTime); });
  // From 20 down, so that "$1" does not take the front of "$10" to "$19". The codes present
  // are found again after each replacement, as an inserted value may hold one.
  std::uint32_t present = VariableCodesIn(m);
  for (int k = kTrapVariables; k >= 1; --k) {
    if (!(present & (1u << k))) continue;
    std::string code = "$" + std::to_string(k);
    const InTrapVar& v = TrapVar(trap, k);
    std::string value;
    if (IsReceivedType(v, snmp::vt::kInteger)) {
      value = FromWire(LabelledValue(def, trap, k));
    } else if (IsReceivedType(v, snmp::vt::kOctetString) &&
               def.SnmpTrapVarList[static_cast<std::size_t>(k)].varType == "DateAndTime") {
      value = v.varValue;
      ConvToDateTime(ctx, value);
    } else {
      value = FromWire(v.varValue);
    }
    ReplaceAll(m, code, value);
    present = VariableCodesIn(m);
  }
  return m;
}

std::string GenericTrapMessage(const InTrapSlot& trap) {
  static const char* const kTypeLabels[] = {
      "(Null): ",      "(Integer): ",     "(OctetString): ", "(ObjectID): ",
      "(IpAddress): ", "(Counter32): ",   "(Gauge32): ",     "(TimeTicks): ",
      "(Opaque): ",    "(NSAPAddress): ", "(UInteger32): ",  "(Counter64): "};
  std::string oid = FromWire(trap.InTrapOid);
  auto starts = [&](const std::string& prefix) {
    return oid.compare(0, prefix.size(), prefix) == 0 &&
           (oid.size() == prefix.size() || oid[prefix.size()] == '.');
  };
  std::string m;
  if (starts("1.3.6.1.2.1"))
    m = "mib-2" + oid.substr(11);
  else if (starts("1.3.6.1.4.1"))
    m = "enterprises" + oid.substr(11);
  else
    m = oid;
  for (int k = 1; k <= kTrapVariables; ++k) {
    const InTrapVar& v = TrapVar(trap, k);
    if (v.varOid.empty()) continue;
    m += ", [" + std::to_string(k) + "]" + v.varOid;
    int type = ReceivedType(v);
    if (type >= 0 && type <= snmp::vt::kCounter64) m += kTypeLabels[type];
    m += FromWire(v.varValue) + " ";
  }
  return m;
}

std::string NoTabs(std::string s) {
  for (char& c : s)
    if (c == '\t') c = ' ';
  return s;
}

// The ip2name file; its directory names are matched without regard to letter case.
std::string Ip2NamePath(const Varnel& ctx) {
  namespace fs = std::filesystem;
  fs::path dir = ctx.ProgramDir;
  for (const char* part : {"mibfiles", "defaultFilter", "ip2name.txt"}) {
    fs::path exact = dir / part;
    std::error_code ec;
    if (fs::exists(exact, ec)) {
      dir = exact;
      continue;
    }
    bool found = false;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
      if (ToLower(it->path().filename().string()) == ToLower(part)) {
        dir = it->path();
        found = true;
        break;
      }
    }
    if (!found) return "";
  }
  return dir.string();
}

void ReportDrops(Varnel& ctx) {
  SnmpState& s = ctx.snmp;
  if (std::uint64_t lost = s.manager->TakeKernelDrops())
    Notice(ctx, evt::kWarning,
           "SNMP trap server: " + std::to_string(lost) +
               " datagrams were dropped by the system (receive buffer full) since the last "
               "check.");
  std::uint64_t malformed = s.manager->Malformed() - s.MalformedReported;
  if (s.InTrapDropped == 0 && malformed == 0) return;
  Notice(ctx, evt::kWarning,
         "SNMP trap server: " + std::to_string(s.InTrapDropped) +
             " traps dropped because the trap queue was full, " + std::to_string(malformed) +
             " malformed datagrams dropped since the last check.");
  s.InTrapDropped = 0;
  s.MalformedReported = s.manager->Malformed();
}

}  // namespace

std::string EnumerationLabel(const std::string& value, const std::string& enumeration) {
  auto p = enumeration.find("(" + value + ")");
  if (p == std::string::npos) return value;
  auto comma = p == 0 ? std::string::npos : enumeration.rfind(',', p - 1);
  std::size_t start = comma == std::string::npos ? 0 : comma + 1;
  return enumeration.substr(start, p - start);
}

void WriteSnmpTrapEventsToEventList(Varnel& ctx) {
  Guarded(ctx, "WriteSnmpTrapEventsToEventList", [&] {
    LetEventsRun(ctx.io);
    SnmpState& s = ctx.snmp;
    int n = s.InTrapIndex - 1;
    // The queued traps are taken out before anything can yield, so a trap that arrives during
    // this drain waits in the queue for the next one: the whole queue is swapped with the spare
    // one. Only as many as the event list has room for are taken; the rest go back to the
    // front of the (empty) queue and wait too.
    int take = std::min(n, ctx.events.Room());
    HeapSlots<InTrapSlot> traps = std::move(s.InTrapSpare);
    if (traps.size() != s.InTrap.size()) traps = HeapSlots<InTrapSlot>(s.InTrap.size());
    std::swap(traps, s.InTrap);
    for (int i = take + 1; i <= n; ++i)
      std::swap(s.InTrap[static_cast<std::size_t>(i - take)], traps[static_cast<std::size_t>(i)]);
    s.InTrapIndex = static_cast<std::int16_t>(n - take + 1);
    ReportDrops(ctx);

    for (int i = 1; i <= take; ++i) {
      const InTrapSlot& trap = traps[static_cast<std::size_t>(i)];
      const TrapDefinition* match = nullptr;
      for (int d = 1; d <= kTrapDefinitions; ++d) {
        const TrapDefinition& def = s.SnmpTrap[static_cast<std::size_t>(d)];
        if (def.SnmpTrapOid.empty()) break;
        if (def.SnmpTrapOid == trap.InTrapOid) {
          match = &def;
          break;
        }
      }
      if (match) {
        if (!match->SnmpTrapLogEvent) continue;
        std::string priority = TrapPriority(*match, trap);
        std::string node = TrapNodeName(ctx, *match, trap);
        std::string message = NoTabs(TrapMessage(ctx, *match, trap));
        ctx.events.Append(trap.InTrapTime, priority, node, message, kSourceSnmpTrap);
      } else if (!s.SkipTrapsNotDef) {
        ctx.events.Append(trap.InTrapTime, kNormal, trap.InTrapSourceNetwork,
                          NoTabs(GenericTrapMessage(trap)), kSourceSnmpTrap);
      }
    }

    s.InTrapSpare = std::move(traps);
    ctx.events.RemoveDuplicates(kSourceSnmpTrap);
    TraceEventList(ctx, kSourceSnmpTrap, "Event List (from SNMP Traps)");
  });
}

void MapIp2Name(Varnel& ctx, const std::string& address, std::string& name) {
  name = address;
  Guarded(ctx, "MapIp2Name", [&] {
    std::string path = Ip2NamePath(ctx);
    if (path.empty()) return;
    for (const std::string& line : ReadLines(path)) {
      auto tab = line.find('\t');
      // The address field must equal the address: 10.0.0.1 does not take 10.0.0.10's line.
      if (Trim(line.substr(0, tab)) != address) continue;
      name = Trim(tab == std::string::npos ? line : line.substr(tab + 1));
      return;
    }
  });
}

void ReverseDnsLookup(Varnel& ctx, const std::string& address, std::string& name) {
  name = address;
  Guarded(ctx, "ReverseDnsLookup", [&] {
    sockaddr_storage ss{};
    socklen_t len = 0;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&ss);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&ss);
    if (inet_pton(AF_INET, address.c_str(), &v4->sin_addr) == 1) {
      v4->sin_family = AF_INET;
      len = sizeof(sockaddr_in);
    } else if (inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr) == 1) {
      v6->sin6_family = AF_INET6;
      len = sizeof(sockaddr_in6);
    } else {
      return;
    }
    // The resolver may block far longer than the bound: it runs on a helper thread that is
    // left to finish on its own when the bound runs out.
    struct Lookup {
      std::mutex m;
      bool done = false;
      std::string host;
    };
    auto lookup = std::make_shared<Lookup>();
    std::thread([lookup, ss, len] {
      char host[NI_MAXHOST];
      int rc = getnameinfo(reinterpret_cast<const sockaddr*>(&ss), len, host, sizeof host, nullptr,
                           0, NI_NAMEREQD);
      std::lock_guard<std::mutex> lock(lookup->m);
      if (rc == 0) lookup->host = host;
      lookup->done = true;
    }).detach();
    for (int waited = 0;; waited += kSliceMs) {
      {
        std::lock_guard<std::mutex> lock(lookup->m);
        if (lookup->done) {
          if (!lookup->host.empty()) name = lookup->host;
          return;
        }
      }
      if (waited >= kDnsTimeoutMs) return;
      Delay(ctx.io, kSliceMs);
    }
  });
}

void ConvToDateTime(Varnel& ctx, std::string& value) {
  Guarded(ctx, "ConvToDateTime", [&] {
    if (value.size() < 7) {
      value = "2000-01-01 00:00:00";
      return;
    }
    auto octet = [&](std::size_t i) {
      return static_cast<unsigned>(static_cast<std::uint8_t>(value[i]));
    };
    auto two = [](unsigned v) { return v < 10 ? "0" + std::to_string(v) : std::to_string(v); };
    // Both year octets: the year is a 16-bit number, most significant octet first.
    unsigned year = octet(0) * 256 + octet(1);
    value = std::to_string(year) + "-" + two(octet(2)) + "-" + two(octet(3)) + " " + two(octet(4)) +
            ":" + two(octet(5)) + ":" + two(octet(6));
  });
}

}  // namespace varnel
