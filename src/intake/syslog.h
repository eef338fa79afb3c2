// Syslog intake: the two listeners, the input queue and its drain into the event list.
#pragma once
#include <cstdint>
#include <string>

#include "service/varnel.h"

namespace varnel {

class Table;

// Facility and severity names by number, and the message layouts of LogMessageAs.
inline constexpr const char* kFacilityNames[] = {
    "0 - Kernel",   "1 - User",     "2 - Mail",     "3 - Daemon",   "4 - Auth",     "5 - Syslog",
    "6 - Lpr",      "7 - News",     "8 - UUCP",     "9 - Cron",     "10 - System0", "11 - System1",
    "12 - System2", "13 - System3", "14 - System4", "15 - System5", "16 - Local0",  "17 - Local1",
    "18 - Local2",  "19 - Local3",  "20 - Local4",  "21 - Local5",  "22 - Local6",  "23 - Local7"};
inline constexpr const char* kSeverityNames[] = {"0 - Emergency",     "1 - Alert",   "2 - Critical",
                                                 "3 - Error",         "4 - Warning", "5 - Notice",
                                                 "6 - Informational", "7 - Debug"};
inline constexpr const char* kMessageLayouts[] = {"Fac.Pri: Message", "Facility: Message",
                                                  "Priority: Message", "Message"};

// Listener protocols of Protocol1 and Protocol2.
inline constexpr const char* kSyslogProtocols[] = {"UDP", "TCP"};

// Facility and severity names of a PRI; false (names untouched) when it is out of 0..191.
bool DecodeSyslogPri(int pri, std::string& facility, std::string& severity);

// The Event_SysLog columns that the parse and the filters use.
struct SyslogSettings {
  std::string FilterIpAddrSearch, FilterIpAddress, FilterPriSearch, FilterPriority;
  std::string FilterFacSearch, FilterFacility, FilterMessSearch, FilterMessage;
  bool FilterCaseSensitive = false;
  bool ModParse3164 = false;
  bool ModRemoveDAT = false;
  int ModMaxLen = 0;
  std::string ModDefFacility, ModDefPriority, LogSourceAs, LogMessageAs;
};

// One parsed message.
struct SyslogWorkItem {
  std::string time, source, facility, severity, hostName, text;
};

// Decodes PRI and header of one raw message (no filters).
SyslogWorkItem ParseSyslogMessage(const SyslogSettings& s, const std::string& time,
                                  const std::string& source, const std::string& raw);

// The event priority of a Syslog severity name ("2 - Critical" -> "2 - Major").
std::string SyslogSeverityToPriority(const std::string& severity);

// Opens listener n (1 or 2) from the Event_SysLog row; returns the started status text.
std::string StartSysLogListener(Varnel& ctx, int n, Table& settings);
// Closes listener n.
void StopSysLogListener(Varnel& ctx, int n);

// The data-arrival handler of listener n: queues the message (300 at most).
void SysLogDataArrival(Varnel& ctx, int n, std::string text, const std::string& senderIp);

// The socket error event of listener n: reported, the listener goes on as it is.
void SysLogError(Varnel& ctx, int n, int number, const std::string& description);

void WriteSysLogEventsToEventList(Varnel& ctx);

}  // namespace varnel
