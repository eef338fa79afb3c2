#include "host/service_open.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>

#include <optional>

#include "delivery/read_sms.h"
#include "agent/snmp_agent.h"
#include "intake/snmp_trap_reception.h"
#include "platform/database.h"
#include "platform/event_loop.h"
#include "intake/syslog.h"
#include "platform/files.h"
#include "service/errors.h"
#include "service/listener_status.h"

namespace varnel {
namespace {

// Starts a listener whose enabled column is true and returns its started status text.
// Listeners that this server does not run yet return nothing and stay "Not Started".
std::optional<std::string> StartListener(Varnel& ctx, const ListenerInfo& info, Table& t) {
  std::string name = info.name;
  if (name == "sysLog1") return StartSysLogListener(ctx, 1, t);
  if (name == "sysLog2") return StartSysLogListener(ctx, 2, t);
  if (name == "snmpAgent") return OpenSnmpAgent(ctx, t);
  if (name == "snmpManager") return OpenTrapServer(ctx, t);
  if (name == "smsServer") {
    ctx.SmsServerActive = true;
    ctx.gsm.SmsStorage = t.Text("PMS") == "Phone" ? "ME" : "SM";
    ctx.gsm.SmsProtocol = t.Text("Protocol");
    ReadSms(ctx, true);  // messages stored while the service was down are not acted on
    Delay(ctx.io, 500);
    return StartedStatus(ctx, "SMS Server Started", {""});
  }
  return std::nullopt;
}

// Stops a listener that its status shows as started.
void StopListener(Varnel& ctx, const ListenerInfo& info) {
  std::string name = info.name;
  if (name == "sysLog1") StopSysLogListener(ctx, 1);
  if (name == "sysLog2") StopSysLogListener(ctx, 2);
  if (name == "snmpAgent") CloseSnmpAgent(ctx);
  if (name == "snmpManager") CloseTrapServer(ctx);
}

void OpenBackupServer(Varnel& ctx) {
  Database db = OpenDatabase(ctx);
  Table g = db.Open("Settings_General");
  if (!g.Flag("RemoteBackup")) return;
  bool backup;
  if (FileExists(ctx.Path("Varnel.ini"))) {
    backup = !ctx.IsPrimary;
  } else {
    backup = IsLocalAddress(g.Text("BackupAddress"));
    ctx.IsPrimary = !backup;
  }
  if (backup) {
    Delay(ctx.io, 500);
    Notice(ctx, evt::kInformation, "This is the Backup System.");
  } else {
    Notice(ctx, evt::kInformation, "This is the Primary System.");
  }
}

void OpenListener(Varnel& ctx, const ListenerInfo& info) {
  Database db = OpenDatabase(ctx);
  Table t = db.Open(info.table);
  std::string status;
  try {
    std::optional<std::string> started;
    if (t.Flag(info.enabledColumn)) started = StartListener(ctx, info, t);
    if (started) {
      status = *started;
      if (info.entry) ctx.ListenerStatus[static_cast<std::size_t>(info.entry)] = ListenerStatusCode::Started;
    } else {
      status = info.notStarted;
      if (info.entry) ctx.ListenerStatus[static_cast<std::size_t>(info.entry)] = ListenerStatusCode::NotStarted;
    }
  } catch (const std::exception& e) {
    status = ListenerFailed(ctx, info.name, ErrorNumberOf(e), e.what());
  }
  t.Set(info.statusColumn, status);
  t.Update();
}

}  // namespace

std::string ListenerFailed(Varnel& ctx, const std::string& name, int number,
                           const std::string& description) {
  struct Failure {
    const char* name;
    const char* inUse;      // entry for 10048, or nullptr for the generic entry
    const char* notValid;   // entry for 10049, or nullptr
    bool reasonLine;        // status carries "Port was in use" / "IP Address is not valid"
  };
  static const Failure kFailures[] = {
      {"snmpAgent", "SNMP Agent Port was in use", "SNMP Agent IP Address is not valid", true},
      {"snmpManager", "SNMP Trap Port was in use", "SNMP Trap IP Address is not valid", true},
      {"sysLog1", nullptr, "Syslog1 IP Address is not valid", false},
      {"sysLog2", nullptr, "Syslog2 IP Address is not valid", false},
      {"smtpServer", nullptr, "SMTP Server IP Address is not valid", false},
      {"backupServer", nullptr, "Backup Server IP Address is not valid", false},
      {"commPort", "Comm Port Error", "Comm Port Error", false},
  };
  const Failure* f = nullptr;
  for (const auto& k : kFailures)
    if (name == k.name) f = &k;
  std::string reason;
  const char* entry = nullptr;
  if (f && name == "commPort") {
    entry = f->inUse;  // any error while opening the port
  } else if (f && number == err::kAddrInUse && f->inUse) {
    entry = f->inUse;
    if (f->reasonLine) reason = "Port was in use";
  } else if (f && number == err::kAddrNotAvail && f->notValid) {
    entry = f->notValid;
    if (f->reasonLine) reason = "IP Address is not valid";
  }
  if (entry)
    ReportErrorText(ctx, entry, entry);
  else
    ReportError(ctx, "ServiceOpen", number, description);
  if (const ListenerInfo* info = FindListener(name); info && info->entry)
    ctx.ListenerStatus[static_cast<std::size_t>(info->entry)] = ListenerStatusCode::NotStarted;
  return FailedStatus(ctx, reason);
}

void ServiceOpen(Varnel& ctx, const std::string& name) {
  try {
    if (name == "backupServer") {
      OpenBackupServer(ctx);
      return;
    }
    const ListenerInfo* info = FindListener(name);
    if (info) OpenListener(ctx, *info);
  } catch (const std::exception& e) {
    // The table itself could not be read or written.
    ReportError(ctx, "ServiceOpen", ErrorNumberOf(e), e.what());
  }
}

void ServiceClose(Varnel& ctx, const std::string& name) {
  Guarded(ctx, "ServiceClose", [&] {
    const ListenerInfo* info = FindListener(name);
    if (!info) return;  // the backup socket belongs to the backup link
    Database db = OpenDatabase(ctx);
    Table t = db.Open(info->table);
    if (t.Text(info->statusColumn).find(info->startedWord) != std::string::npos) {
      StopListener(ctx, *info);
      ctx.io.poll();
    }
    t.Set(info->statusColumn, info->notStarted);
    t.Update();
  });
}

bool IsLocalAddress(const std::string& address) {
  in_addr want4{};
  in6_addr want6{};
  bool is4 = inet_pton(AF_INET, address.c_str(), &want4) == 1;
  bool is6 = !is4 && inet_pton(AF_INET6, address.c_str(), &want6) == 1;
  if (!is4 && !is6) return false;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return false;
  bool found = false;
  for (ifaddrs* a = list; a && !found; a = a->ifa_next) {
    if (!a->ifa_addr) continue;
    if (is4 && a->ifa_addr->sa_family == AF_INET)
      found = reinterpret_cast<sockaddr_in*>(a->ifa_addr)->sin_addr.s_addr == want4.s_addr;
    else if (is6 && a->ifa_addr->sa_family == AF_INET6)
      found = IN6_ARE_ADDR_EQUAL(&reinterpret_cast<sockaddr_in6*>(a->ifa_addr)->sin6_addr, &want6);
  }
  freeifaddrs(list);
  return found;
}

}  // namespace varnel
