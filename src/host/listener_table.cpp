#include "host/listener_table.h"

#include "agent/snmp_agent.h"
#include "delivery/read_sms.h"
#include "host/backup_role.h"
#include "intake/comm_port.h"
#include "intake/smtp_server.h"
#include "intake/snmp_trap_reception.h"
#include "intake/syslog.h"
#include "maintenance/backup_link.h"
#include "service/listener_status.h"

namespace varnel {
namespace {

std::string OpenSysLog1(Varnel& ctx, Table& t) { return StartSysLogListener(ctx, 1, t); }
std::string OpenSysLog2(Varnel& ctx, Table& t) { return StartSysLogListener(ctx, 2, t); }
void CloseSysLog1(Varnel& ctx) { StopSysLogListener(ctx, 1); }
void CloseSysLog2(Varnel& ctx) { StopSysLogListener(ctx, 2); }

// In start order.
// clang-format off
const Listener kListeners[] = {
    {.name = "snmpAgent", .table = "Settings_SNMP_Agent", .enabledColumn = "Enabled",
     .statusColumn = "Status", .open = OpenSnmpAgent, .close = CloseSnmpAgent,
     .startedWord = kSnmpAgentStarted, .notStarted = kNotStarted,
     .inUseEntry = "SNMP Agent Port was in use",
     .notValidEntry = "SNMP Agent IP Address is not valid", .reasonLine = true},
    {.name = "snmpManager", .table = "Event_SNMP_TrapServer", .enabledColumn = "Enabled",
     .statusColumn = "Status", .entry = kLsTrapServer, .open = OpenTrapServer,
     .close = CloseTrapServer, .startedWord = kTrapServerStarted, .notStarted = kNotStarted,
     .inUseEntry = "SNMP Trap Port was in use",
     .notValidEntry = "SNMP Trap IP Address is not valid", .reasonLine = true},
    {.name = "commPort", .table = "Event_CommPort", .enabledColumn = "Enabled",
     .statusColumn = "Status", .entry = kLsCommPort, .open = OpenCommPort,
     .close = CloseCommPort, .startedWord = kCommPortOpened, .notStarted = kNotOpened,
     .anyErrorEntry = "Comm Port Error"},
    {.name = "sysLog1", .table = "Event_SysLog", .enabledColumn = "Enabled1",
     .statusColumn = "Status1", .entry = kLsSysLog1, .open = OpenSysLog1, .close = CloseSysLog1,
     .startedWord = kSyslogServerStarted, .notStarted = kNotStarted,
     .notValidEntry = "Syslog1 IP Address is not valid"},
    {.name = "sysLog2", .table = "Event_SysLog", .enabledColumn = "Enabled2",
     .statusColumn = "Status2", .entry = kLsSysLog2, .open = OpenSysLog2, .close = CloseSysLog2,
     .startedWord = kSyslogServerStarted, .notStarted = kNotStarted,
     .notValidEntry = "Syslog2 IP Address is not valid"},
    {.name = "smtpServer", .table = "Event_SMTP", .enabledColumn = "Enabled",
     .statusColumn = "Status", .entry = kLsSmtpServer, .open = StartSmtpServer,
     .close = StopSmtpServer, .startedWord = kSmtpServerStarted,
     .notStarted = kNotStarted, .notValidEntry = "SMTP Server IP Address is not valid"},
    {.name = "smsServer", .table = "Event_SMS", .enabledColumn = "Enabled",
     .statusColumn = "Status", .entry = kLsSmsServer, .open = StartSmsServer,
     .startedWord = kSmsServerStarted, .notStarted = kNotStarted},
    // No status column; its socket belongs to the backup link.
    {.name = "backupServer", .table = "Settings_General", .enabledColumn = "RemoteBackup",
     .open = OpenBackupServer, .close = CloseBackupListener,
     .notValidEntry = "Backup Server IP Address is not valid"},
};
// clang-format on

}  // namespace

const Listener* FindListener(const std::string& name) {
  for (const Listener& l : kListeners)
    if (name == l.name) return &l;
  return nullptr;
}

}  // namespace varnel
