// Syslog intake: the two listeners, the input queue and its drain into the event list.
#pragma once
#include <cstdint>
#include <string>

#include "service/varnel.h"

namespace varnel {

class Table;

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
