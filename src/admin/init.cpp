#include "admin/init.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "platform/database.h"
#include "platform/error.h"
#include "platform/files.h"

namespace varnel {

extern const std::string_view kSchemaSql;

namespace {

void MakeDir(const std::string& path) {
  if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) throw FileError(errno, path);
}

using Field = std::pair<const char*, std::string>;

void AddRow(Database& db, const char* table, std::initializer_list<Field> fields) {
  Table t = db.Open(table);
  t.AddNew();
  for (const auto& [column, value] : fields) t.Set(column, value);
  t.Update();
}

constexpr const char* kAllDay = "16777215";

// clang-format off
void AddDefaultRows(Database& db) {
  AddRow(db, "Settings_General",
         {{"UseDateFormat", "YYYY-MM-DD"}, {"DebugMode", "No Debug"}, {"Version", "1.0"},
          {"BackupHour", "2"}, {"DelOldLogDays", "30"}, {"LogIndexEvent", "1"},
          {"LogIndexAlarm", "1"}, {"LogIndexReqAck", "1"}, {"LogIndexAction", "1"},
          {"LogIndexMaintenance", "1"}, {"TestSendTime", "8"}, {"TestSeverity", "5 - Normal"},
          {"TestSource", "Varnel"}, {"TestMessage", "Daily test message"}});
  AddRow(db, "Event_CheckInterval",
         {{"CheckInterval", "30"}, {"SendDate", "1"}, {"SendTime", "1"}, {"SendNodeName", "1"},
          {"SendNodeNameMaxChar", "50"}, {"SendPriority", "1"}, {"SendMessage", "1"},
          {"SendMessageMaxChar", "250"}, {"TrapIpAddress", "127.0.0.1"}, {"TrapUdpPort", "162"},
          {"TrapCommunity", "public"}, {"TrapProtocol", "SNMPv1 Trap"}});
  AddRow(db, "Settings_SNMP_Agent",
         {{"Status", "Not Started"}, {"IpAddress", "0.0.0.0"}, {"UdpPort", "161"},
          {"GetComm", "public"}, {"SetComm", "private"}, {"SysName", "Varnel"},
          {"PollMeTimeout", "300"}, {"PollMeSeverity", "2 - Major"}, {"PollMeSource", "Varnel"},
          {"PollMeMessage", "No poll from the network manager"}});
  AddRow(db, "Event_SNMP_TrapServer",
         {{"Status", "Not Started"}, {"IpAddress", "0.0.0.0"}, {"UdpPort", "162"},
          {"Community", "public"}});
  AddRow(db, "Event_CommPort",
         {{"Status", "Not Opened"}, {"CommPort", "1"}, {"Settings", "9600,n,8,1"},
          {"Handshaking", "No Handshaking"}});
  AddRow(db, "Event_SysLog",
         {{"Protocol1", "UDP"}, {"IpAddress1", "0.0.0.0"}, {"ListeningPort1", "514"},
          {"Status1", "Not Started"}, {"Protocol2", "TCP"}, {"IpAddress2", "0.0.0.0"},
          {"ListeningPort2", "514"}, {"Status2", "Not Started"}, {"FilterIpAddrSearch", "="},
          {"FilterIpAddress", "*"}, {"FilterPriSearch", "<="}, {"FilterPriority", "7 - Debug"},
          {"FilterFacSearch", "<="}, {"FilterFacility", "23 - Local7"},
          {"FilterMessSearch", "="}, {"FilterMessage", "*"}, {"ModParse3164", "1"},
          {"ModRemoveDAT", "1"}, {"ModMaxLen", "250"}, {"ModDefFacility", "1 - User"},
          {"ModDefPriority", "5 - Notice"}, {"LogSourceAs", "IP Address"},
          {"LogMessageAs", "Message"}, {"TrapIpAddress", "127.0.0.1"}, {"TrapUdpPort", "162"},
          {"TrapCommunity", "public"}, {"TrapProtocol", "SNMPv1 Trap"}});
  AddRow(db, "Event_SMTP",
         {{"TcpPort", "25"}, {"IpAddress", "0.0.0.0"}, {"Status", "Not Started"},
          {"AccessListIp", "*"}, {"AccessListFrom", "*"}, {"UseEventFilter", "1"}});
  AddRow(db, "Event_SMS",
         {{"Status", "Not Started"}, {"PMS", "SIM"}, {"Protocol", "ETSI 07.05-PDU"},
          {"WaitForReplyTime", "30"}});
  AddRow(db, "Settings_Modem", {});
  AddRow(db, "LogFiles_WebLayout",
         {{"EventEntriesFirst", "5"}, {"AlarmEntriesFirst", "5"}, {"ActionEntriesFirst", "5"},
          {"EventEntriesLog", "100"}, {"AlarmEntriesLog", "100"}, {"ActionEntriesLog", "100"},
          {"FontName", "Arial"}, {"FontSize", "2"}, {"TimeWidth", "80"}, {"IdWidth", "30"},
          {"SourceWidth", "100"}, {"ReceiverWidth", "100"}, {"MessageWidth", "300"},
          {"StatusWidth", "100"}, {"TimeFormat", "DDD HH:MM"}, {"IdMaxChar", "3"},
          {"SourceMaxChar", "20"}, {"ReceiverMaxChar", "20"}, {"MessageMaxChar", "80"},
          {"StatusMaxChar", "30"}});
  AddRow(db, "LogFiles_WebServer", {});
}
// clang-format on

void SetColumns(Database& db, const char* table, std::initializer_list<Field> fields) {
  Table t = db.Open(table);
  for (const auto& [column, value] : fields) t.Set(column, value);
  t.Update();
}

// The user who runs the demo: the one behind sudo, else the effective user.
std::string DemoUser() {
  if (const char* sudoUser = std::getenv("SUDO_USER"); sudoUser && *sudoUser) return sudoUser;
  if (const passwd* pw = getpwuid(geteuid()); pw && pw->pw_name) return pw->pw_name;
  return "root";
}

// The demo's program receiver: it appends each alarm as one line to alarms.log in the program
// directory (programs run in ExecProg/), so that a new user sees deliveries arrive.
constexpr const char* kDemoAlarmScript = "demo-alarm.sh";
constexpr const char* kDemoAlarmScriptText =
    "#!/bin/sh\n"
    "# Varnel hands each alarm over as the arguments; one line per alarm in ../alarms.log.\n"
    "echo \"$(date '+%Y-%m-%d %H:%M:%S') $*\" >> ../alarms.log\n";

void WriteDemoAlarmScript(const std::string& dir) {
  const std::string path = dir + "/ExecProg/" + kDemoAlarmScript;
  std::FILE* f = std::fopen(path.c_str(), "w");
  if (!f) throw FileError(errno, path);
  std::fputs(kDemoAlarmScriptText, f);
  if (std::fclose(f) != 0 || ::chmod(path.c_str(), 0755) != 0) throw FileError(errno, path);
}

// clang-format off
void AddDemoSetup(Database& db) {
  SetColumns(db, "Event_SysLog",
             {{"Enabled1", "1"}, {"Protocol1", "UDP"}, {"IpAddress1", "127.0.0.1"},
              {"ListeningPort1", "5514"}});
  SetColumns(db, "Settings_SNMP_Agent",
             {{"Enabled", "1"}, {"IpAddress", "127.0.0.1"}, {"UdpPort", "1161"}});
  SetColumns(db, "Event_SNMP_TrapServer",
             {{"Enabled", "1"}, {"IpAddress", "127.0.0.1"}, {"UdpPort", "1162"}});
  SetColumns(db, "Event_SMTP", {{"Enabled", "1"}, {"IpAddress", "127.0.0.1"}, {"TcpPort", "2525"}});
  // Every event reaches the operator's terminal as a pop-up message.
  AddRow(db, "Recv_Popup_NETSEND",
         {{"Name", "Operator console"}, {"Enabled", "1"}, {"DutyTimeMon", kAllDay},
          {"DutyTimeTue", kAllDay}, {"DutyTimeWed", kAllDay}, {"DutyTimeThu", kAllDay},
          {"DutyTimeFri", kAllDay}, {"DutyTimeSat", kAllDay}, {"DutyTimeSun", kAllDay},
          {"WinAddress", DemoUser()}});
  // And to alarms.log, through the program receiver.
  AddRow(db, "Recv_Popup_NETSEND",
         {{"Name", "RUNPROG alarms.log"}, {"Enabled", "1"}, {"DutyTimeMon", kAllDay},
          {"DutyTimeTue", kAllDay}, {"DutyTimeWed", kAllDay}, {"DutyTimeThu", kAllDay},
          {"DutyTimeFri", kAllDay}, {"DutyTimeSat", kAllDay}, {"DutyTimeSun", kAllDay},
          {"WinAddress", kDemoAlarmScript}});
  AddRow(db, "SuppGrp_Perm",
         {{"Name", "All events"}, {"Enabled", "1"}, {"DutyTimeMon", kAllDay},
          {"DutyTimeTue", kAllDay}, {"DutyTimeWed", kAllDay}, {"DutyTimeThu", kAllDay},
          {"DutyTimeFri", kAllDay}, {"DutyTimeSat", kAllDay}, {"DutyTimeSun", kAllDay},
          {"Priority", "5 - Normal"}, {"PrioritySearch", "<="}, {"NodeName", "*"},
          {"NodeNameSearch", "="}, {"Message", "*"}, {"MessageSearch", "="},
          {"CriteriaDupEvent", "Whole String Equal"}, {"PriorityUp", "5 - Normal"},
          {"PrioritySearchUp", "="}, {"RecvName1", "Operator console"},
          {"RecvType1", "PopupNetSend"}, {"RecvName2", "RUNPROG alarms.log"},
          {"RecvType2", "PopupNetSend"}, {"RecvName3", "None"},
          {"RecvName4", "None"}, {"RecvName5", "None"}});
}
// clang-format on

}  // namespace

void CreateDatabase(const std::string& path) {
  if (FileExists(path))
    throw VarnelError(err::kPathFileAccess,
                      path + " already exists; init never overwrites a database");
  sqlite3* raw = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  sqlite3_close(raw);
  if (rc != SQLITE_OK) throw VarnelError(err::kDatabaseBase + rc, "cannot create " + path);
  Database db(path);
  db.Begin();
  db.Exec(std::string(kSchemaSql));
  db.Commit();
}

void InitProgramDir(const std::string& dir, bool demo) {
  MakeDir(dir);
  for (const char* sub : kProgramSubdirs) MakeDir(dir + "/" + sub);
  std::string path = dir + "/Varnel.mdb";
  CreateDatabase(path);
  try {
    Database db(path);
    db.Begin();
    AddDefaultRows(db);
    if (demo) {
      AddDemoSetup(db);
      WriteDemoAlarmScript(dir);
    }
    db.Commit();
  } catch (...) {
    DeleteFile(path);  // a half-filled database would only mislead the service
    throw;
  }
}

}  // namespace varnel
