// Debug trace files under "Debug/": which category writes which file, and the common
// line shapes that the writers share.
#pragma once
#include <string>
#include <vector>

#include "service/varnel.h"

namespace varnel {

enum class TraceCategory {
  EventSources,
  FilterProcess,
  ModemCommunication,
  RemoteBackup,
  FtpCommunication,
  DebugAllOnly,  // files written only in "Debug All"
};

// DebugMode words; any other value writes no trace.
inline constexpr const char* kNoDebug = "No Debug";
inline constexpr const char* kDebugEventSources = "Event Sources";
inline constexpr const char* kDebugFilterProcess = "Filter Process";
inline constexpr const char* kDebugModemCommunication = "Modem Communication";
inline constexpr const char* kDebugRemoteBackup = "Remote Backup";
inline constexpr const char* kDebugFtpCommunication = "Ftp Communication";
inline constexpr const char* kDebugAll = "Debug All";
inline constexpr const char* kDebugModes[] = {kNoDebug,
                                              kDebugEventSources,
                                              kDebugFilterProcess,
                                              kDebugModemCommunication,
                                              kDebugRemoteBackup,
                                              kDebugFtpCommunication,
                                              kDebugAll};

namespace trace {
inline constexpr const char* kEventList = "Event_List.txt";
inline constexpr const char* kSyslogMess = "Event_SyslogMess.txt";
inline constexpr const char* kSnmpTrap = "Event_SnmpTrap.txt";
inline constexpr const char* kSmtpMail = "Event_SmtpMail.txt";
inline constexpr const char* kCommPort = "Event_CommPort.txt";
inline constexpr const char* kLogFile = "Event_LogFile.txt";
inline constexpr const char* kSmsCmd = "Event_SmsCmd.txt";
inline constexpr const char* kSmtpLogFile = "Smtp_LogFile.txt";
inline constexpr const char* kTask = "Task.txt";
inline constexpr const char* kDbSnmpTraps = "Db_SNMP_Traps.txt";
inline constexpr const char* kFilterProcess = "Filter_Process.txt";
inline constexpr const char* kBuffMessList = "BuffMess_List.txt";
inline constexpr const char* kReqAck = "ReqAck.txt";
inline constexpr const char* kModem = "Modem_Communication.txt";
inline constexpr const char* kSendMailSmtp = "SendMailSMTP.txt";
inline constexpr const char* kBackupClient = "BackupClient.txt";
inline constexpr const char* kBackupServer = "BackupServer.txt";
inline constexpr const char* kFtpPut = "FtpPut.txt";
}  // namespace trace

// True when DebugMode is the category's word or "Debug All" (exact, case-sensitive).
bool TraceEnabled(const Varnel& ctx, TraceCategory category);

// Appends the lines (CR LF each) to Debug/file when the category is enabled. A trace is
// diagnostics only: a failing write (full disk, missing directory) does not stop the
// procedure that traces. It is reported once, and again only after a write has succeeded.
void WriteTrace(Varnel& ctx, TraceCategory category, const std::string& file,
                const std::vector<std::string>& lines);

// "YYYY-MM-DD HH:MM:SS" of now.
std::string TraceTimestamp(const Varnel& ctx);

// Builds the shared line shapes.
class TraceLines {
 public:
  explicit TraceLines(const Varnel& ctx) : ctx_(ctx) {}
  // timestamp " ***** " title " *****", then an empty line.
  TraceLines& DumpTitle(const std::string& title);
  // "********** " name " **********"
  TraceLines& ItemTitle(const std::string& name);
  // name "(" index ")=" value
  TraceLines& Field(const std::string& name, int index, const std::string& value);
  // name "=" value
  TraceLines& Field(const std::string& name, const std::string& value);
  TraceLines& Line(const std::string& text);
  TraceLines& Blank() { return Line(""); }
  const std::vector<std::string>& Lines() const { return lines_; }

 private:
  const Varnel& ctx_;
  std::vector<std::string> lines_;
};

// The three lines of a socket event; a new transfer restarts the delta at 0.
std::vector<std::string> SocketEventLines(Varnel& ctx, const std::string& link,
                                          const std::string& handler, int state, bool newTransfer);

// Appends the event list dump of one intake source to Event_List.txt ("Event Sources"):
// the title line, then the five fields of every entry of that source.
void TraceEventList(Varnel& ctx, const std::string& source, const std::string& title);

// Deletes the trace files (and slist.tmp) at start, whatever the debug mode.
void ClearDebugDir(Varnel& ctx);

}  // namespace varnel
