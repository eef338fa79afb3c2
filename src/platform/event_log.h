// The application event log: syslog(3), an optional file copy, or memory for tests.
#pragma once
#include <string>
#include <vector>

#include "platform/clock.h"

namespace varnel {

namespace evt {
constexpr int kError = 1;
constexpr int kWarning = 2;
constexpr int kInformation = 4;
constexpr int kStarted = 101;
constexpr int kStopped = 102;
constexpr int kRuntimeError = 106;
constexpr int kNotice = 107;
}  // namespace evt

class EventLog {
 public:
  virtual ~EventLog() = default;
  virtual void Write(int type, int id, const std::string& text) = 0;
};

// syslog(3) with ident "Varnel", facility daemon; every entry is also appended to
// copyPath (when not empty) as "time<TAB>type<TAB>id<TAB>text".
class SystemEventLog : public EventLog {
 public:
  SystemEventLog(const Clock& clock, std::string copyPath);
  ~SystemEventLog() override;
  void Write(int type, int id, const std::string& text) override;

 private:
  const Clock& clock_;
  std::string copyPath_;
};

struct EventLogEntry {
  int type;
  int id;
  std::string text;
};

class MemoryEventLog : public EventLog {
 public:
  void Write(int type, int id, const std::string& text) override {
    entries.push_back({type, id, text});
  }
  bool Contains(int id, const std::string& text) const;
  std::vector<EventLogEntry> entries;
};

}  // namespace varnel
