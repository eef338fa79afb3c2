#include "intake/syslog.h"

#include <algorithm>
#include <cctype>

#include "filter/wildcard.h"
#include "intake/snmp_trap_forward.h"
#include "platform/database.h"
#include "platform/event_loop.h"
#include "platform/tcp_listener.h"
#include "platform/text.h"
#include "platform/udp_listener.h"
#include "service/errors.h"
#include "service/listener_status.h"
#include "service/trace.h"

namespace varnel {
namespace {

// The leading number of a text, as a numeric read that stops at the first non-digit
// (blanks first, an optional sign); 0 when there is none.
long LeadingNumber(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
  long v = 0;
  for (; i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])); ++i) {
    v = v * 10 + (s[i] - '0');
    if (v > 1000000) break;  // far out of range already
  }
  return negative ? -v : v;
}

std::string TrimSpaces(const std::string& s) {
  std::size_t b = s.find_first_not_of(' ');
  if (b == std::string::npos) return {};
  return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

// The word of a facility or severity name: the part after the first "-" and one blank.
std::string NameWord(const std::string& name) {
  auto dash = name.find('-');
  if (dash == std::string::npos) return name;
  return name.substr(std::min(name.size(), dash + 2));
}

bool KnownSeverity(const std::string& name) {
  for (const char* s : kSeverityNames)
    if (name == s) return true;
  return false;
}

bool KnownLayout(const std::string& layout) {
  for (const char* l : kMessageLayouts)
    if (layout == l) return true;
  return false;
}

// Removes a "NNN: %DEVICE-5-CODE: " prefix of Local6/Local7 devices.
void RemoveDevicePrefix(std::string& text) {
  auto pos = text.find(": %");
  if (pos == std::string::npos || pos > 18) return;  // must start at character 1 to 19
  auto space = text.find(' ', pos + 2);
  if (space != std::string::npos) text = text.substr(space + 1);
}

// Applies the optional RFC 3164 header parse; false when the header has no host end and the
// text stays as it was.
bool ParseHeader(const SyslogSettings& s, SyslogWorkItem& w) {
  const std::string& t = w.text;
  if (t.find(':') != 9 || t.find(' ', 10) != 15) return true;
  auto r = t.find(' ', 16);
  if (r != std::string::npos) {
    w.hostName = t.substr(16, r - 16);
    w.text = s.ModRemoveDAT ? TrimSpaces(t.substr(r + 1))
                            : TrimSpaces(t.substr(0, 16) + t.substr(r + 1));
    return true;
  }
  if (!s.ModRemoveDAT) return false;
  w.text = TrimSpaces(t.substr(16));
  return true;
}

// The next space-delimited field of an RFC 5424 header at pos; pos moves past its space.
// False when the header ends before the field does.
bool NextField(const std::string& t, std::size_t& pos, std::string& field) {
  auto space = t.find(' ', pos);
  if (space == std::string::npos || space == pos) return false;
  field = t.substr(pos, space - pos);
  pos = space + 1;
  return true;
}

// The end of the STRUCTURED-DATA at pos ("-" or one or more [ ... ] elements, where "\]" and
// "\"" inside a quoted value are escaped), or npos when it is malformed.
std::size_t StructuredDataEnd(const std::string& t, std::size_t pos) {
  if (t.compare(pos, 1, "-") == 0) return pos + 1;
  while (pos < t.size() && t[pos] == '[') {
    bool quoted = false;
    for (++pos; pos < t.size() && (quoted || t[pos] != ']'); ++pos) {
      if (quoted && t[pos] == '\\')
        ++pos;
      else if (t[pos] == '"')
        quoted = !quoted;
    }
    if (pos >= t.size()) return std::string::npos;
    ++pos;  // past "]"
  }
  return pos < t.size() && t[pos] != ' ' ? std::string::npos : pos;
}

// An RFC 5424 header after the PRI ("1 TIMESTAMP HOSTNAME APP-NAME PROCID MSGID SD [MSG]"),
// read into host name and text the way an RFC 3164 header is: the text is "app[procid]: msg"
// without the nil values, the structured data when the message is empty, and keeps the
// timestamp in front unless ModRemoveDAT. False when it is no complete header (the text stays).
bool ParseHeader5424(const SyslogSettings& s, SyslogWorkItem& w) {
  const std::string& t = w.text;
  std::size_t pos = 2;
  std::string time, host, app, procId, msgId;
  for (std::string* f : {&time, &host, &app, &procId, &msgId})
    if (!NextField(t, pos, *f)) return false;
  std::size_t sdEnd = StructuredDataEnd(t, pos);
  if (sdEnd == std::string::npos) return false;
  std::string message = sdEnd < t.size() ? t.substr(sdEnd + 1) : "";
  if (message.compare(0, 3, "\xEF\xBB\xBF") == 0) message.erase(0, 3);  // the UTF-8 BOM
  if (TrimSpaces(message).empty()) message = t.substr(pos, sdEnd - pos);
  if (message == "-") message.clear();
  std::string tag = (app == "-" ? "" : app) + (procId == "-" ? "" : "[" + procId + "]");
  if (!tag.empty() && !message.empty()) message = tag + ": " + message;
  w.hostName = host == "-" ? "" : host;
  w.text =
      TrimSpaces(message.empty() || s.ModRemoveDAT || time == "-" ? message : time + " " + message);
  return true;
}

SyslogSettings ReadSyslogSettings(Varnel& ctx) {
  Database db = OpenDatabase(ctx);
  Table t = db.Open("Event_SysLog");
  SyslogSettings s;
  s.FilterIpAddrSearch = t.Text("FilterIpAddrSearch");
  s.FilterIpAddress = t.Text("FilterIpAddress");
  s.FilterPriSearch = t.Text("FilterPriSearch");
  s.FilterPriority = t.Text("FilterPriority");
  s.FilterFacSearch = t.Text("FilterFacSearch");
  s.FilterFacility = t.Text("FilterFacility");
  s.FilterMessSearch = t.Text("FilterMessSearch");
  s.FilterMessage = t.Text("FilterMessage");
  s.FilterCaseSensitive = t.Flag("FilterCaseSensitive");
  s.ModParse3164 = t.Flag("ModParse3164");
  s.ModRemoveDAT = t.Flag("ModRemoveDAT");
  s.ModMaxLen = t.Int16("ModMaxLen");
  s.ModDefFacility = t.Text("ModDefFacility");
  s.ModDefPriority = t.Text("ModDefPriority");
  s.LogSourceAs = t.Text("LogSourceAs");
  s.LogMessageAs = t.Text("LogMessageAs");
  return s;
}

// A value outside the listed words would give events without priority or text: it is
// replaced by a default and reported once per drain.
void CheckSyslogSettings(Varnel& ctx, SyslogSettings& s) {
  if (!KnownSeverity(s.ModDefPriority)) {
    ReportError(
        ctx, "WriteSysLogEventsToEventList", err::kTypeMismatch,
        "ModDefPriority '" + s.ModDefPriority + "' is not a severity name; using \"5 - Notice\"");
    s.ModDefPriority = "5 - Notice";
  }
  if (!KnownLayout(s.LogMessageAs)) {
    ReportError(ctx, "WriteSysLogEventsToEventList", err::kTypeMismatch,
                "LogMessageAs '" + s.LogMessageAs + "' is not a message layout; using \"Message\"");
    s.LogMessageAs = "Message";
  }
}

bool CompareLevel(const std::string& search, long value, long limit) {
  if (search == "<=") return value <= limit;
  if (search == "=") return value == limit;
  if (search == ">=") return value >= limit;
  return false;
}

std::string ComposeMessage(const SyslogSettings& s, const SyslogWorkItem& w) {
  std::string m;
  if (s.LogMessageAs == "Fac.Pri: Message")
    m = NameWord(w.facility) + "." + NameWord(w.severity) + ": " + w.text;
  else if (s.LogMessageAs == "Facility: Message")
    m = NameWord(w.facility) + ": " + w.text;
  else if (s.LogMessageAs == "Priority: Message")
    m = NameWord(w.severity) + ": " + w.text;
  else
    m = w.text;
  for (char& c : m)
    if (c == '\t') c = ' ';
  return m;
}

}  // namespace

bool DecodeSyslogPri(int pri, std::string& facility, std::string& severity) {
  if (pri < 0 || pri > 191) return false;
  severity = kSeverityNames[pri % 8];
  facility = kFacilityNames[pri / 8];
  return true;
}

std::string SyslogSeverityToPriority(const std::string& severity) {
  switch (LeadingNumber(severity.substr(0, 1))) {
    case 0:
    case 1: return kCritical;
    case 2: return kMajor;
    case 3: return kMinor;
    case 4: return kWarning;
    default: return kNormal;
  }
}

SyslogWorkItem ParseSyslogMessage(const SyslogSettings& s, const std::string& time,
                                  const std::string& source, const std::string& raw) {
  SyslogWorkItem w{time, source, {}, {}, {}, {}};
  auto close = raw.find('>', 1);
  bool valid = !raw.empty() && raw[0] == '<' && close != std::string::npos && close <= 4 &&
               DecodeSyslogPri(static_cast<int>(LeadingNumber(raw.substr(1, close - 1))),
                               w.facility, w.severity);
  if (!valid) {
    w.facility = s.ModDefFacility;
    w.severity = s.ModDefPriority;
    w.text = TrimSpaces(LeftChars(raw, s.ModMaxLen));
    return w;
  }
  w.text = TrimSpaces(LeftChars(raw.substr(close + 1), s.ModMaxLen));
  bool prefixStep = true;
  if (s.ModParse3164)
    prefixStep = w.text.compare(0, 2, "1 ") == 0 ? ParseHeader5424(s, w) : ParseHeader(s, w);
  long facilityNumber = LeadingNumber(w.facility.substr(0, 2));
  if (prefixStep && s.ModRemoveDAT && (facilityNumber == 22 || facilityNumber == 23))
    RemoveDevicePrefix(w.text);
  return w;
}

std::string StartSysLogListener(Varnel& ctx, int n, Table& settings) {
  std::string k = std::to_string(n);
  std::string protocol = settings.Text("Protocol" + k);
  std::string address = settings.Text("IpAddress" + k);
  int port = settings.Int32("ListeningPort" + k);  // ports above 32767 are valid too
  auto& syslog = ctx.intake.syslog;
  auto slot = static_cast<std::size_t>(n - 1);
  auto handler = [&ctx, n](std::string data, std::string ip) {
    SysLogDataArrival(ctx, n, std::move(data), ip);
  };
  auto onError = [&ctx, n](int number, const std::string& description) {
    SysLogError(ctx, n, number, description);
  };
  std::string localIp;
  int localPort;
  if (protocol == "UDP") {
    syslog.udp[slot] = std::make_shared<UdpListener>(ctx.io, address, port, handler);
    syslog.udp[slot]->OnError(onError);
    localIp = syslog.udp[slot]->LocalAddress();
    localPort = syslog.udp[slot]->LocalPort();
  } else {
    syslog.tcp[slot] = std::make_shared<TcpListener>(ctx.io, address, port, handler);
    syslog.tcp[slot]->OnError(onError);
    localIp = syslog.tcp[slot]->LocalAddress();
    localPort = syslog.tcp[slot]->LocalPort();
  }
  ctx.listeners.sysLogBound[slot] = localPort != 0;
  Delay(ctx.io, kListenerStartPauseMs);
  return StartedStatus(ctx, kSyslogServerStarted,
                       {"IP=" + localIp, "Port=" + std::to_string(localPort), ""});
}

void StopSysLogListener(Varnel& ctx, int n) {
  auto slot = static_cast<std::size_t>(n - 1);
  auto& syslog = ctx.intake.syslog;
  // A UDP socket stays bound until the process ends; a TCP listener is closed.
  if (syslog.tcp[slot]) {
    syslog.tcp[slot]->Close();
    syslog.tcp[slot].reset();
    ctx.listeners.sysLogBound[slot] = false;
  }
}

void SysLogDataArrival(Varnel& ctx, int n, std::string text, const std::string& senderIp) {
  Guarded(ctx, "sysLog" + std::to_string(n) + "_DataArrival", [&] {
    auto& q = ctx.intake.syslog;
    if (q.InSysLogIndex > kMaxQueuedSyslog) {
      ++q.dropped;
      return;
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    for (char& c : text)
      if (c == '\0') c = ' ';
    int i = q.InSysLogIndex++;
    auto& item = q.queue[static_cast<std::size_t>(i)];
    item = {ctx.clock.Now().Text(), senderIp, FromWire(text)};
    TraceLines t(ctx);
    t.ItemTitle("Syslog" + std::to_string(n) + " Message")
        .Field("InSysLogTime", i, item.time)
        .Field("InSysLogSource", i, item.source)
        .Field("InSysLogMess", i, item.text)
        .Blank();
    WriteTrace(ctx, TraceCategory::EventSources, trace::kSyslogMess, t.Lines());
  });
}

void SysLogError(Varnel& ctx, int n, int number, const std::string& description) {
  ReportError(ctx, "sysLog" + std::to_string(n) + "_Error", number, description);
}

void WriteSysLogEventsToEventList(Varnel& ctx) {
  Guarded(ctx, "WriteSysLogEventsToEventList", [&] {
    auto& q = ctx.intake.syslog;
    if (q.dropped > 0) {
      Notice(ctx, evt::kWarning,
             "Syslog input queue full: " + std::to_string(q.dropped) +
                 " messages were dropped since the last check.");
      q.dropped = 0;
    }
    std::uint64_t lost = 0;
    for (const auto& listener : q.udp)
      if (listener) lost += listener->TakeKernelDrops();
    if (lost > 0)
      Notice(ctx, evt::kWarning,
             "Syslog listener: " + std::to_string(lost) +
                 " datagrams were dropped by the system (receive buffer full) since the last "
                 "check.");
    // Only as many messages as the event list has room for are taken (each gives one event
    // at most); the rest move to the front of the queue for the next cycle, so a list that
    // other sources filled loses nothing the listener accepted.
    int queued = q.InSysLogIndex - 1;
    int take = std::min(queued, ctx.events.Room());
    if (take == 0) return;
    SyslogSettings s = ReadSyslogSettings(ctx);
    CheckSyslogSettings(ctx, s);
    std::vector<SyslogWorkItem> work;
    for (int i = 1; i <= take; ++i) {
      const auto& item = q.queue[static_cast<std::size_t>(i)];
      if (!item.text.empty())
        work.push_back(ParseSyslogMessage(s, item.time, item.source, item.text));
    }
    std::rotate(q.queue.begin(), q.queue.begin() + take, q.queue.begin() + queued);
    q.InSysLogIndex = queued - take + 1;
    Delay(ctx.io, 40);

    PatternList addressFilter(ctx, s.FilterIpAddress, s.FilterIpAddrSearch, CaseMode::Binary);
    PatternList messageFilter(ctx, s.FilterMessage, s.FilterMessSearch,
                              s.FilterCaseSensitive ? CaseMode::Binary : CaseMode::Text);
    long priLimit = LeadingNumber(s.FilterPriority.substr(0, 1));
    long facLimit = LeadingNumber(s.FilterFacility.substr(0, 2));
    for (const auto& w : work) {
      if (w.text.empty()) continue;
      if (!addressFilter.Holds(w.source)) continue;
      if (!CompareLevel(s.FilterPriSearch, LeadingNumber(w.severity.substr(0, 1)), priLimit))
        continue;
      if (!CompareLevel(s.FilterFacSearch, LeadingNumber(w.facility.substr(0, 2)), facLimit))
        continue;
      if (!messageFilter.Holds(w.text)) continue;
      std::string node =
          s.LogSourceAs == "Name (RFC 3164)" && !w.hostName.empty() ? w.hostName : w.source;
      std::string priority = SyslogSeverityToPriority(w.severity);
      std::string message = ComposeMessage(s, w);
      ctx.events.Append(w.time, priority, node, message, kSourceSyslog);
      // Forwarded before the duplicate removal, so a repeated message is forwarded each time.
      ForwardSysLogAsTrap(ctx, w.source, node, static_cast<std::int16_t>(priority[0] - '0'),
                          message);
    }
    Delay(ctx.io, 40);
    ctx.events.RemoveDuplicates(kSourceSyslog);
    TraceEventList(ctx, kSourceSyslog, "Event List (from Syslog Messages)");
  });
}

}  // namespace varnel
