#include "service/listener_status.h"

#include "platform/text.h"
#include "service/errors.h"

namespace varnel {

const ListenerInfo* FindListener(const std::string& name) {
  static const ListenerInfo kListeners[] = {
      {"snmpAgent", "Settings_SNMP_Agent", "Enabled", "Status", 0, "SNMP Agent Started",
       "Not Started"},
      {"snmpManager", "Event_SNMP_TrapServer", "Enabled", "Status", kLsTrapServer,
       "Trap Server Started", "Not Started"},
      {"commPort", "Event_CommPort", "Enabled", "Status", kLsCommPort, "Comm Port Opened",
       "Not Opened"},
      {"sysLog1", "Event_SysLog", "Enabled1", "Status1", kLsSysLog1, "Syslog Server Started",
       "Not Started"},
      {"sysLog2", "Event_SysLog", "Enabled2", "Status2", kLsSysLog2, "Syslog Server Started",
       "Not Started"},
      {"smtpServer", "Event_SMTP", "Enabled", "Status", kLsSmtpServer, "SMTP Server Started",
       "Not Started"},
      {"smsServer", "Event_SMS", "Enabled", "Status", kLsSmsServer, "SMS Server Started",
       "Not Started"},
  };
  for (const auto& l : kListeners)
    if (name == l.name) return &l;
  return nullptr;
}

std::string StartedStatus(const Varnel& ctx, const std::string& word,
                          const std::vector<std::string>& details) {
  std::string s = StatusTime(ctx) + "\r\n" + word;
  for (const auto& d : details) s += "\r\n" + d;
  return s;
}

std::string FailedStatus(const Varnel& ctx, const std::string& reason) {
  return LeftChars(StatusTime(ctx) + "\r\nFailed to Start\r\n" + reason, 100);
}

}  // namespace varnel
