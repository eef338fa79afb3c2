#include "platform/event_log.h"

#include <syslog.h>

#include <fstream>

namespace varnel {

SystemEventLog::SystemEventLog(const Clock& clock, std::string copyPath)
    : clock_(clock), copyPath_(std::move(copyPath)) {
  openlog("Varnel", LOG_PID, LOG_DAEMON);
}

SystemEventLog::~SystemEventLog() { closelog(); }

void SystemEventLog::Write(int type, int id, const std::string& text) {
  int prio = type == evt::kError ? LOG_ERR : type == evt::kWarning ? LOG_WARNING : LOG_INFO;
  syslog(prio, "%d: %s", id, text.c_str());
  if (copyPath_.empty()) return;
  std::ofstream out(copyPath_, std::ios::app | std::ios::binary);
  // Entries may hold CR LF (status texts); keep one entry per line in the copy.
  std::string flat = text;
  for (char& c : flat)
    if (c == '\r' || c == '\n') c = ' ';
  out << clock_.Now().Text() << '\t' << type << '\t' << id << '\t' << flat << '\n';
}

bool MemoryEventLog::Contains(int id, const std::string& text) const {
  for (const auto& e : entries)
    if (e.id == id && e.text == text) return true;
  return false;
}

}  // namespace varnel
