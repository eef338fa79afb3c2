#include "intake/snmp_trap_reception.h"

#include <cstdlib>

#include "platform/event_loop.h"
#include "platform/files.h"
#include "platform/snmp/snmp_socket.h"
#include "platform/text.h"
#include "service/errors.h"
#include "service/listener_status.h"
#include "service/trace.h"

namespace varnel {
namespace {

constexpr const char* kSnmpTrapAddressOid = "1.3.6.1.6.3.18.1.3.0";
constexpr const char* kGenericTrapPrefix = "1.3.6.1.2.1.11";
constexpr int kEnterpriseSpecific = 6;

void ResetSlot(InTrapSlot& slot) {
  // Clearing keeps the strings' storage, so a busy queue does not allocate per trap.
  for (std::string* f : {&slot.InTrapOid, &slot.InTrapSourceAgent, &slot.InTrapSourceNetwork,
                         &slot.InTrapTime, &slot.InTrapCommunityName, &slot.InTrapSysUpTime})
    f->clear();
  // The variables are filled from the first on, each with its type: the first empty one
  // ends those to clear, so a trap touches only the part of its slot it uses.
  for (auto& v : slot.InTrapVarList) {
    if (v.varOid.empty() && v.varValue.empty() && v.varType.empty()) break;
    v.varOid.clear();
    v.varValue.clear();
    v.varType.clear();
  }
}

void SetVar(InTrapVar& to, const snmp::Variable& from) {
  to.varOid = from.oid;
  to.varValue = from.value;
  to.varType = std::to_string(from.type);
}

// A drop-file field: tabs and line ends would break the line into other fields or lines.
std::string Field(const std::string& value) {
  std::string s = FromWire(value);
  for (char& c : s)
    if (c == '\t' || c == '\r' || c == '\n') c = ' ';
  return s;
}

// The numeric value of a text; raises a type mismatch when it is not a number.
double NumericValue(const std::string& text) {
  std::string t = Trim(text);
  char* end = nullptr;
  double v = t.empty() ? 0 : std::strtod(t.c_str(), &end);
  if (t.empty() || end != t.c_str() + t.size())
    throw VarnelError(err::kTypeMismatch, "Type mismatch");
  return v;
}

const char* ReceiverTypeWord(const std::string& code) {
  std::string c = Trim(code);
  if (c.size() == 1 && c[0] >= '1' && c[0] <= '6') return kReceiverKinds[c[0] - '1'].type;
  return nullptr;
}

void WriteDirectMessage(Varnel& ctx, const InTrapSlot& slot) {
  const auto& v = slot.InTrapVarList;
  // A message for a receiver type that does not exist cannot be delivered: it is dropped
  // here rather than written with a missing field.
  const char* word = ReceiverTypeWord(v[1].varValue);
  if (!word) {
    WriteTrace(ctx, TraceCategory::EventSources, trace::kSnmpTrap,
               {TraceTimestamp(ctx) + "    Direct message dropped: receiver type \"" +
                    Field(v[1].varValue) + "\" is not 1 to 6",
                ""});
    return;
  }
  std::string line = ctx.clock.Now().Text() + "\t" + word;
  for (int k : {2, 3, 4, 6, 7, 8}) line += "\t" + Field(v[static_cast<std::size_t>(k)].varValue);
  AppendLines(ctx.Path("SnmpMess.log"), {line});
  Delay(ctx.io, 20);
}

void TraceTrap(Varnel& ctx, int n, const InTrapSlot& slot, const char* version) {
  if (!TraceEnabled(ctx, TraceCategory::EventSources)) return;
  TraceLines t(ctx);
  t.ItemTitle("SNMP Trap")
      .Field("InTrapVersion", n, version)
      .Field("InTrapOid", n, FromWire(slot.InTrapOid))
      .Field("InTrapSourceAgent", n, FromWire(slot.InTrapSourceAgent))
      .Field("InTrapSourceNetwork", n, slot.InTrapSourceNetwork)
      .Field("InTrapTime", n, slot.InTrapTime)
      .Field("InTrapCommunityName", n, FromWire(slot.InTrapCommunityName))
      .Field("InTrapSysUpTime", n, FromWire(slot.InTrapSysUpTime));
  std::string prefix = "InTrapVarList(" + std::to_string(n) + ")";
  for (int k = 1; k <= kTrapVariables; ++k) {
    const InTrapVar& v = slot.InTrapVarList[static_cast<std::size_t>(k)];
    if (v.varOid.empty()) continue;
    t.Field(prefix + ".varOid", k, v.varOid)
        .Field(prefix + ".varValue", k, FromWire(v.varValue))
        .Field(prefix + ".varType", k, v.varType);
  }
  t.Blank();
  WriteTrace(ctx, TraceCategory::EventSources, trace::kSnmpTrap, t.Lines());
}

}  // namespace

std::string OpenTrapServer(Varnel& ctx, Table& t) {
  SnmpState& s = ctx.snmp;
  std::string address = t.Text("IpAddress");
  int port = t.Int32("UdpPort");
  // The community and the skip flag are loaded before the socket opens, so a trap that
  // arrives during the start-up wait is already checked against the right community.
  s.TrapServerCommunity = t.Text("Community");
  s.SkipTrapsNotDef = t.Flag("SkipTrapsNotDef");
  s.manager->OnTrap([&ctx](snmp::Message& m) { snmpManager_Trap(ctx, m); });
  s.manager->OnError(
      [&ctx](int number, const std::string& text) { snmpManager_Error(ctx, number, text); });
  s.manager->Listen(port, address == "0.0.0.0" ? "" : address);
  ctx.listeners.trapLocalPort = s.manager->LocalPort();
  Delay(ctx.io, kListenerStartPauseMs);
  std::string local = s.manager->LocalAddress();
  t.Set("IpAddress", local);
  return StartedStatus(ctx, kTrapServerStarted,
                       {"IP=" + local, "Port=" + std::to_string(s.manager->LocalPort())});
}

void CloseTrapServer(Varnel& ctx) {
  ctx.snmp.manager->Stop();
  ctx.listeners.trapLocalPort = 0;
}

void snmpManager_Trap(Varnel& ctx, snmp::Message& m) {
  Guarded(ctx, "snmpManager_Trap", [&] {
    SnmpState& s = ctx.snmp;
    int n = s.InTrapIndex;
    if (n > kTrapQueueSlots) {
      ++s.InTrapDropped;  // reported at the next drain
      return;
    }
    if (m.community != s.TrapServerCommunity) return;
    InTrapSlot& slot = s.InTrap[static_cast<std::size_t>(n)];
    ResetSlot(slot);
    const char* version;
    slot.InTrapTime = ctx.clock.Now().Text();
    slot.InTrapCommunityName = m.community;
    if (m.pduType == snmp::pdu::kTrapV1) {
      version = "SNMPv1Trap";
      slot.InTrapSourceAgent = m.agentAddress;
      slot.InTrapSourceNetwork = m.senderAddress;
      slot.InTrapSysUpTime = std::to_string(m.timeStamp);
      if (m.genericTrap != kEnterpriseSpecific)
        slot.InTrapOid = std::string(kGenericTrapPrefix) + ".0." + std::to_string(m.genericTrap);
      else
        slot.InTrapOid = m.enterprise + ".0." + std::to_string(m.specificTrap);
      int k = 0;
      for (const auto& v : m.variables) {
        if (++k > kTrapVariables) break;
        SetVar(slot.InTrapVarList[static_cast<std::size_t>(k)], v);
      }
    } else if (m.pduType == snmp::pdu::kInform || m.pduType == snmp::pdu::kTrapV2) {
      version = "SNMPv2Trap";
      slot.InTrapSourceAgent = "0.0.0.0";
      slot.InTrapSourceNetwork = m.senderAddress;
      int c = 0;
      for (const auto& v : m.variables) {
        // snmpTrapAddress.0 names the agent wherever it stands, also after the 20 variables
        // that are kept.
        if (v.oid == kSnmpTrapAddressOid) {
          slot.InTrapSourceAgent = v.value;
          continue;
        }
        ++c;
        if (c == 1)
          slot.InTrapSysUpTime = v.value;
        else if (c == 2)
          slot.InTrapOid = v.value;
        else if (c <= kTrapVariables + 2)
          SetVar(slot.InTrapVarList[static_cast<std::size_t>(c - 2)], v);
      }
      if (m.pduType == snmp::pdu::kInform) {
        version = "SNMPv2Inform";
        snmp::Message answer = m;
        answer.pduType = snmp::pdu::kResponse;
        answer.errorStatus = 0;
        answer.errorIndex = 0;
        s.manager->Respond(answer);
      }
    } else {
      return;
    }
    TraceTrap(ctx, n, slot, version);
    if (slot.InTrapOid == kDirectMessageTrapOid &&
        NumericValue(slot.InTrapVarList[5].varValue) == 2) {
      slot.InTrapOid.clear();  // not queued: the slot is used again by the next trap
      WriteDirectMessage(ctx, slot);
      return;
    }
    s.InTrapIndex = static_cast<std::int16_t>(n + 1);
  });
}

void snmpManager_Error(Varnel& ctx, int number, const std::string& description) {
  ReportError(ctx, "snmpManager_Error", number, description);
}

}  // namespace varnel
