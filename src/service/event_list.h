// The event list: every event of one cycle, in arrival order, 300 at most.
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "platform/slots.h"

namespace varnel {

constexpr int kMaxEvents = 300;

// Severity words; filters compare the digit that begins them.
inline constexpr const char* kCritical = "1 - Critical";
inline constexpr const char* kMajor = "2 - Major";
inline constexpr const char* kMinor = "3 - Minor";
inline constexpr const char* kWarning = "4 - Warning";
inline constexpr const char* kNormal = "5 - Normal";
inline constexpr const char* kSeverityWords[] = {kCritical, kMajor, kMinor, kWarning, kNormal};

// Compare words of the priority, facility and severity filters; and of the pattern filters.
inline constexpr const char* kOrderSearchWords[] = {"<=", "=", ">="};
inline constexpr const char* kPatternSearchWords[] = {"=", "!="};

// Source words, one per kind of intake.
inline constexpr const char* kSourceSnmpTrap = "SNMP Trap";
inline constexpr const char* kSourceCommPort = "Comm Port";
inline constexpr const char* kSourceLogFile = "Log File";
inline constexpr const char* kSourceSyslog = "Syslog";
inline constexpr const char* kSourceInternal = "Internal";
inline constexpr const char* kSourceSmtpMail = "SMTP Mail";
inline constexpr const char* kSourceSms = "SMS";

struct InEvent {
  std::string DateAndTime;  // empty marks a free slot
  std::string Priority;
  std::string Name;
  std::string Message;
  std::string EventSource;
  bool Free() const { return DateAndTime.empty(); }
};

class EventList {
 public:
  // Entries are numbered 1..300; index 0 is not used.
  InEvent& operator[](int i);
  const InEvent& operator[](int i) const;
  int Count() const { return count_; }
  int Room() const { return kMaxEvents - count_; }  // entries still free
  void SetCount(int n);  // direct-entry writers that fill entries from 1 on

  void Clear();
  // Fills the next entry; returns false (and adds nothing) when the list is full.
  bool Append(const std::string& dateAndTime, const std::string& priority, const std::string& name,
              const std::string& message, const std::string& source);
  void Remove(int i);
  // Moves the occupied entries down to 1..n in order and empties the slots it vacates.
  void Compact();
  // For every entry of this source, empties each later entry with the same message, node
  // name and priority (any source); then compacts.
  void RemoveDuplicates(const std::string& source);

 private:
  Slots<InEvent, kMaxEvents> items_;  // 1..300
  std::int16_t count_ = 0;
};

}  // namespace varnel
