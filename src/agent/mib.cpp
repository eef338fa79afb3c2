#include "agent/mib.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/snmp/up_time.h"

namespace varnel {
namespace {

using Arcs = std::vector<std::uint32_t>;

constexpr const char* kSystemGroup = "1.3.6.1.2.1.1";  // MIB-II system

struct Entry {
  std::string base;
  int type;
  Arcs instance;  // base + .0, for ordering
};

// Dotted text to arcs; a part that is not a number ends the OID there.
Arcs ToArcs(const std::string& oid) {
  Arcs arcs;
  std::uint64_t v = 0;
  bool digits = false;
  for (std::size_t i = 0; i <= oid.size(); ++i) {
    if (i == oid.size() || oid[i] == '.') {
      if (digits) arcs.push_back(static_cast<std::uint32_t>(v));
      v = 0;
      digits = false;
    } else if (oid[i] >= '0' && oid[i] <= '9') {
      v = std::min<std::uint64_t>(v * 10 + static_cast<std::uint64_t>(oid[i] - '0'), 0xFFFFFFFFu);
      digits = true;
    } else {
      break;
    }
  }
  return arcs;
}

const std::vector<Entry>& Table() {
  static const std::vector<Entry> table = [] {
    using namespace snmp::vt;
    const std::string s = kSystemGroup;
    const std::string p = snmp::kPrivateArc;
    const std::pair<std::string, int> objects[kMibObjects] = {
        {s + ".1", kOctetString}, {s + ".2", kObjectId},        {s + ".3", kTimeTicks},
        {s + ".4", kOctetString}, {s + ".5", kOctetString},     {s + ".6", kOctetString},
        {s + ".7", kInteger},     {p + ".1.1.1", kInteger},     {p + ".1.1.2", kInteger},
        {p + ".1.1.3", kInteger}, {p + ".1.1.4", kOctetString}, {p + ".1.2.1", kInteger},
        {p + ".1.4.1", kInteger}, {p + ".1.4.2", kOctetString}, {p + ".1.5.1", kInteger},
        {p + ".1.5.2", kInteger}, {p + ".1.5.3", kInteger},     {p + ".1.5.4", kInteger},
        {p + ".1.5.5", kInteger}, {p + ".1.5.6", kInteger},     {p + ".1.5.7", kInteger}};
    std::vector<Entry> t;
    for (const auto& [oid, type] : objects) t.push_back({oid, type, ToArcs(oid + ".0")});
    return t;
  }();
  return table;
}

}  // namespace

ServiceStateCode RequestedServiceState(const Varnel& ctx) {
  return ctx.agentRequest.serviceState.value_or(ctx.ServiceState);
}

UpdateRequestCode RequestedUpdateRequest(const Varnel& ctx) {
  return ctx.agentRequest.updateRequest.value_or(ctx.UpdateRequest);
}

const std::string& MibBaseOid(int object) { return Table()[static_cast<std::size_t>(object)].base; }

int MibType(int object) { return Table()[static_cast<std::size_t>(object)].type; }

int FindMibObject(const std::string& oid) {
  std::string o = !oid.empty() && oid[0] == '.' ? oid.substr(1) : oid;
  const auto& t = Table();
  for (std::size_t i = 0; i < t.size(); ++i)
    if (o == t[i].base || o == t[i].base + ".0") return static_cast<int>(i);
  return -1;
}

int NextMibObject(const std::string& oid) {
  // Lexicographic: a prefix such as 1.3.6.1.2.1.1, an OID between two objects or an object's
  // base OID all answer the next instance, so a manager's walk of any subtree works.
  Arcs a = ToArcs(oid);
  const auto& t = Table();
  for (std::size_t i = 0; i < t.size(); ++i)
    if (std::lexicographical_compare(a.begin(), a.end(), t[i].instance.begin(),
                                     t[i].instance.end()))
      return static_cast<int>(i);
  return -1;
}

snmp::Variable ReadMibObject(const Varnel& ctx, int object) {
  snmp::Variable v;
  v.oid = MibBaseOid(object) + ".0";
  v.type = MibType(object);
  const SnmpState& s = ctx.snmp;
  switch (object) {
    case kSysDescr: v.value = "Varnel, ver " + ctx.DbVersion; break;
    case kSysObjectId: v.value = snmp::kPrivateArc; break;
    case kSysUpTime:
      v.value = std::to_string(snmp::UpTimeTicks(ctx.StartTime, ctx.clock.Now()));
      break;
    case kSysContact: v.value = s.AgentSysContact; break;
    case kSysName: v.value = s.AgentSysName; break;
    case kSysLocation: v.value = s.AgentSysLocation; break;
    case kSysServices: v.value = "72"; break;
    case kRunState: v.value = std::to_string(static_cast<int>(RequestedServiceState(ctx))); break;
    case kSecondsToCheck: v.value = std::to_string(ctx.Countdown); break;
    case kActivity: v.value = std::to_string(static_cast<int>(ctx.StatusStep)); break;
    case kStatusText: v.value = ctx.StatusText; break;
    case kUpdateRequest:
      v.value = std::to_string(static_cast<int>(RequestedUpdateRequest(ctx)));
      break;
    case kErrorCount: v.value = std::to_string(ctx.ErrorCount); break;
    case kLastError: v.value = ctx.LastErrorText; break;
    default:
      v.value = std::to_string(static_cast<int>(
          ctx.ListenerStatus[static_cast<std::size_t>(object - kTrapServerStatus + 1)]));
      break;
  }
  return v;
}

}  // namespace varnel
