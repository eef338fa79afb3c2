// status: what the running service reports through its agent, with the listeners' status
// texts and the day's log counts from the database.
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "admin/agent_client.h"
#include "admin/ops.h"
#include "admin/ops_common.h"
#include "agent/mib.h"
#include "host/listener_table.h"
#include "platform/clock.h"

namespace varnel::admin {
namespace {

struct ListenerLine {
  const char* label;
  const char* listener;  // row of the listener table, nullptr for none
  int object;            // status object of the agent, -1 for none
};

constexpr ListenerLine kListenerLines[] = {
    {"SNMP agent", "snmpAgent", -1},
    {"SNMP trap server", "snmpManager", kTrapServerStatus},
    {"Comm port", "commPort", kCommPortStatus},
    {"Log file input", nullptr, kLogFileStatus},
    {"Syslog 1", "sysLog1", kSysLog1Status},
    {"Syslog 2", "sysLog2", kSysLog2Status},
    {"SMTP server", "smtpServer", kSmtpServerStatus},
    {"SMS server", "smsServer", kSmsServerStatus},
};

// The activity codes of the agent, as words.
std::string ActivityWord(const std::string& code) {
  static const char* const kWords[] = {"paused",
                                       "counting down",
                                       "checking for new events",
                                       "sending",
                                       "sending",
                                       "database backup or housekeeping",
                                       "receiving the database from the primary"};
  const int n = std::atoi(code.c_str());
  return n >= 1 && n <= 7 ? kWords[n - 1] : "activity " + code;
}

std::string StatusWord(const std::string& code) {
  return code == "1" ? "started" : code == "2" ? "not started" : "unknown (" + code + ")";
}

std::string ListenerText(Database& db, const char* listenerName) {
  const Listener* l = listenerName ? FindListener(listenerName) : nullptr;
  if (!l || !l->statusColumn) return "";
  Rows r = Query(db, std::string("SELECT \"") + l->statusColumn + "\" FROM \"" + l->table +
                         "\" ORDER BY rowid LIMIT 1");
  if (r.values.empty()) return "";
  // The text is a few lines (time, state, details); one line per listener here.
  std::string text;
  for (char c : r.values[0][0]) {
    if (c == '\r') continue;
    if (c == '\n')
      text += ", ";
    else
      text += c;
  }
  return text;
}

std::string CountToday(Database& db, const char* table, const std::string& today) {
  return Query(db, std::string("SELECT COUNT(*) FROM ") + table + " WHERE DateAndTime >= ?",
               {today})
      .values[0][0];
}

}  // namespace

int RunStatus(const Args& args) {
  Options o = ParseOptions(args, {}, {});
  if (o.positional.size() != 1) throw BadInput("usage: varnel-admin status DIR");
  auto opened = OpenProgramDatabase(o.positional[0]);
  Database& db = *opened;
  AgentAddress address = ReadAgentAddress(db);
  if (!address.enabled) {
    std::cerr << "varnel-admin: the SNMP agent is not enabled in Settings_SNMP_Agent, so the "
                 "service cannot be asked\n";
    return kExitNoService;
  }
  const std::vector<int> objects = {
      kRunState,      kSecondsToCheck,   kActivity,       kStatusText,    kErrorCount,
      kLastError,     kTrapServerStatus, kCommPortStatus, kLogFileStatus, kSysLog1Status,
      kSysLog2Status, kSmtpServerStatus, kSmsServerStatus};
  std::vector<std::string> oids;
  for (int object : objects) oids.push_back(MibBaseOid(object));
  auto values = AgentClient(address).Get(oids);
  if (!values) {
    std::cerr << "varnel-admin: the service does not answer on " << address.host << ":"
              << address.port << " (not running, or another community)\n";
    return kExitNoService;
  }
  auto value = [&](int object) -> const std::string& {
    for (std::size_t i = 0; i < objects.size(); ++i)
      if (objects[i] == object) return (*values)[i].value;
    return oids[0];  // not reached: every object asked for is in the answer
  };

  std::cout << "Service: " << (value(kRunState) == "1" ? "running" : "paused") << "\n"
            << "Activity: " << ActivityWord(value(kActivity)) << ", next check in "
            << value(kSecondsToCheck) << " s\n"
            << "Status text: " << value(kStatusText) << "\n";
  AlignedPrinter listeners({"Listener", "State", "Status text"});
  std::vector<std::vector<std::string>> rows;
  for (const ListenerLine& l : kListenerLines)
    rows.push_back(
        {l.label, l.object < 0 ? "" : StatusWord(value(l.object)), ListenerText(db, l.listener)});
  std::cout << listeners.Block(rows);
  const std::string today = SystemClock().Now().DateText();
  std::cout << "Errors: " << value(kErrorCount) << "\n"
            << "Last error: " << value(kLastError) << "\n"
            << "Today: " << CountToday(db, "LogFiles_Event", today) << " events, "
            << CountToday(db, "LogFiles_Alarm", today) << " alarms\n";
  return kExitOk;
}

}  // namespace varnel::admin
