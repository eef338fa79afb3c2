#include "agent/snmp_agent.h"

#include <utility>

#include "agent/mib.h"
#include "platform/event_loop.h"
#include "platform/files.h"
#include "platform/snmp/snmp_socket.h"
#include "platform/text.h"
#include "service/clear_tables.h"
#include "service/errors.h"
#include "service/listener_status.h"

namespace varnel {
namespace {

using snmp::Message;
using snmp::Variable;

constexpr std::size_t kSysTextMax = 100;

void Fail(Message& m, int status, std::size_t position) {
  m.errorStatus = status;
  m.errorIndex = static_cast<int>(position);
}

// A state change takes effect at once outside a cycle; inside one the host applies it when
// the cycle ends.
void ApplyUnlessCycleRuns(Varnel& ctx) {
  if (!ctx.CycleRunning) ApplyAgentRequest(ctx);
}

// Steps common to Get and GetNext once the community is right: a standby that was paused
// is made active, and the poll watchdog starts again.
void AcceptPoll(Varnel& ctx) {
  if (!ctx.IsPrimary && RequestedServiceState(ctx) != ServiceStateCode::Running) {
    ctx.agentRequest.activate = true;
    ctx.agentRequest.serviceState = ServiceStateCode::Running;
    ApplyUnlessCycleRuns(ctx);
  }
  ctx.PollCountdown = ctx.PollMeTimeout;
}

// 1 or 2 for an Integer 1 or 2, else 0.
int OneOrTwo(const Variable& v) {
  if (v.type != snmp::vt::kInteger) return 0;
  return v.value == "1" ? 1 : v.value == "2" ? 2 : 0;
}

// A sysContact, sysName or sysLocation Set: the first 100 characters, " " for an empty text.
void SetSystemText(Varnel& ctx, Variable& v, int object) {
  std::string text = LeftChars(FromWire(v.value), kSysTextMax);
  if (text.empty()) text.assign(1, ' ');  // assign, not = " ": GCC 12 warns falsely on that
  SnmpState& s = ctx.snmp;
  const char* column = object == kSysContact ? "SysContact"
                       : object == kSysName  ? "SysName"
                                             : "SysLocation";
  std::string& held = object == kSysContact ? s.AgentSysContact
                      : object == kSysName  ? s.AgentSysName
                                            : s.AgentSysLocation;
  held = text;
  SnmpDbUpdate(ctx, column, text);
  v = ReadMibObject(ctx, object);
}

}  // namespace

std::string OpenSnmpAgent(Varnel& ctx, Table& t) {
  SnmpState& s = ctx.snmp;
  std::string address = t.Text("IpAddress");
  int port = t.Int32("UdpPort");
  // Loaded before the socket opens, so a request during the start-up wait is already checked
  // against the right communities.
  s.AgentGetCommunity = t.Text("GetComm");
  s.AgentSetCommunity = t.Text("SetComm");
  s.AgentSysContact = t.Text("SysContact");
  s.AgentSysName = t.Text("SysName");
  s.AgentSysLocation = t.Text("SysLocation");
  ctx.PollMe = t.Flag("PollMe");
  ctx.PollMeTimeout = t.Int16("PollMeTimeout");
  s.agent->OnRequest([&ctx](Message& m) { snmpAgent_Request(ctx, m); });
  s.agent->OnError(
      [&ctx](int number, const std::string& text) { snmpAgent_Error(ctx, number, text); });
  s.agent->Listen(port, address == "0.0.0.0" ? "" : address);
  Delay(ctx.io, kListenerStartPauseMs);
  return StartedStatus(
      ctx, kSnmpAgentStarted,
      {"IP=" + s.agent->LocalAddress(), "Port=" + std::to_string(s.agent->LocalPort())});
}

void CloseSnmpAgent(Varnel& ctx) { ctx.snmp.agent->Stop(); }

void snmpAgent_Request(Varnel& ctx, Message& m) {
  Guarded(ctx, "snmpAgent_Request", [&] {
    int code = m.pduType;
    switch (code) {
      case snmp::pdu::kGetV1:
      case snmp::pdu::kGet: SnmpGetRequest(ctx, m); break;
      case snmp::pdu::kGetNextV1:
      case snmp::pdu::kGetNext: SnmpGetNextRequest(ctx, m); break;
      case snmp::pdu::kSetV1:
      case snmp::pdu::kSet: SnmpSetRequest(ctx, m); break;
      default: break;
    }
    // A v1 Get is answered with type 34, everything else with 66; both are the Response PDU
    // in the request's own version.
    m.pduType = code == snmp::pdu::kGetV1 ? snmp::pdu::kResponseV1 : snmp::pdu::kResponse;
    ctx.snmp.agent->Send(m);
  });
}

void SnmpGetRequest(Varnel& ctx, Message& m) {
  Guarded(ctx, "SnmpGetRequest", [&] {
    if (m.community != ctx.snmp.AgentGetCommunity) return;
    AcceptPoll(ctx);
    for (std::size_t i = 0; i < m.variables.size(); ++i) {
      int object = FindMibObject(m.variables[i].oid);
      if (object < 0) return Fail(m, snmp::es::kNoSuchName, i + 1);
      m.variables[i] = ReadMibObject(ctx, object);
    }
  });
}

void SnmpGetNextRequest(Varnel& ctx, Message& m) {
  Guarded(ctx, "SnmpGetNextRequest", [&] {
    if (m.community != ctx.snmp.AgentGetCommunity) return;
    AcceptPoll(ctx);
    for (std::size_t i = 0; i < m.variables.size(); ++i) {
      int object = NextMibObject(m.variables[i].oid);
      if (object < 0) return Fail(m, snmp::es::kNoSuchName, i + 1);
      m.variables[i] = ReadMibObject(ctx, object);
    }
  });
}

void SnmpSetRequest(Varnel& ctx, Message& m) {
  Guarded(ctx, "SnmpSetRequest", [&] {
    if (m.community != ctx.snmp.AgentSetCommunity) return;
    for (std::size_t i = 0; i < m.variables.size(); ++i) {
      Variable& v = m.variables[i];
      int object = FindMibObject(v.oid);
      switch (object) {
        case kSysContact:
        case kSysName:
        case kSysLocation:
          if (v.type != snmp::vt::kOctetString) return Fail(m, snmp::es::kBadValue, i + 1);
          SetSystemText(ctx, v, object);
          break;
        case kRunState: {
          int state = OneOrTwo(v);
          if (!state) return Fail(m, snmp::es::kBadValue, i + 1);
          auto requested = static_cast<ServiceStateCode>(state);
          if (requested != RequestedServiceState(ctx)) {
            if (requested == ServiceStateCode::Running) ctx.agentRequest.activate = true;
            ctx.agentRequest.serviceState = requested;
            ApplyUnlessCycleRuns(ctx);
          }
          v = ReadMibObject(ctx, object);
          break;
        }
        case kUpdateRequest: {
          int request = OneOrTwo(v);
          if (!request) return Fail(m, snmp::es::kBadValue, i + 1);
          ctx.agentRequest.updateRequest = static_cast<UpdateRequestCode>(request);
          ApplyUnlessCycleRuns(ctx);
          v = ReadMibObject(ctx, object);
          break;
        }
        case kErrorCount:
          if (v.type != snmp::vt::kInteger || v.value != "0")
            return Fail(m, snmp::es::kBadValue, i + 1);
          ctx.ErrorCount = 0;
          ctx.LastErrorText = "No internal execution error.";
          v = ReadMibObject(ctx, object);
          break;
        case -1: return Fail(m, snmp::es::kNoSuchName, i + 1);
        default: return Fail(m, snmp::es::kReadOnly, i + 1);
      }
    }
  });
}

void snmpAgent_Error(Varnel& ctx, int number, const std::string& description) {
  ReportError(ctx, "snmpAgent_Error", number, description);
}

void SnmpInitOn(Varnel& ctx) {
  Guarded(ctx, "SnmpInitOn", [&] {
    {
      Database db = OpenDatabase(ctx);
      Table t = db.Open("Event_CheckInterval");
      ctx.CheckInterval = t.Int16("CheckInterval");
      ctx.Countdown = ctx.CheckInterval;
    }
    if (ctx.snmp.manager->Listening()) ctx.snmp.InTrapIndex = 1;
    if (ctx.listeners.sysLogBound[0] || ctx.listeners.sysLogBound[1])
      ctx.intake.syslog.InSysLogIndex = 1;
    if (ctx.listeners.commPortIn) ctx.intake.panel.EmptyReceiveBuffer();
    ResetDropFilesAndMessages(ctx);
  });
}

void ApplyAgentRequest(Varnel& ctx) {
  PendingAgentRequest r = std::exchange(ctx.agentRequest, {});
  if (r.activate) SnmpInitOn(ctx);
  if (r.serviceState) ctx.ServiceState = *r.serviceState;
  if (r.updateRequest) ctx.UpdateRequest = *r.updateRequest;
}

void SnmpDbUpdate(Varnel& ctx, const std::string& field, const std::string& value) {
  Guarded(ctx, "SnmpDbUpdate", [&] {
    Database db = OpenDatabase(ctx);
    Table t = db.Open("Settings_SNMP_Agent");
    t.Set(field, value);
    t.Update();
  });
}

}  // namespace varnel
