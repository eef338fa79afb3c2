// Local time source. Everything that reads the time of day goes through a Clock.
#pragma once
#include <cstdint>
#include <ctime>
#include <string>

namespace varnel {

struct LocalTime {
  int year = 2000;
  int month = 1;  // 1..12
  int day = 1;    // 1..31
  int hour = 0;   // 0..23
  int minute = 0;
  int second = 0;
  int weekday = 6;  // 0 = Sunday .. 6 = Saturday

  // "YYYY-MM-DD HH:MM:SS"
  std::string Text() const;
  // "YYYY-MM-DD"
  std::string DateText() const;
  // "HH:MM"
  std::string HourMinute() const;
};

// Breaks a time_t down into local time (honours TZ and faketime).
LocalTime ToLocalTime(std::time_t t);

class Clock {
 public:
  virtual ~Clock() = default;
  virtual LocalTime Now() const = 0;
  // Milliseconds of a monotonic counter (the system tick count).
  virtual std::uint64_t TickMs() const = 0;
};

class SystemClock : public Clock {
 public:
  LocalTime Now() const override;
  std::uint64_t TickMs() const override;
};

// A clock that only moves when told to; used by tests.
class FakeClock : public Clock {
 public:
  explicit FakeClock(LocalTime t = {}) : now_(t) {}
  LocalTime Now() const override { return now_; }
  std::uint64_t TickMs() const override { return tick_; }
  void Set(const LocalTime& t) { now_ = t; }
  // Sets the time from "YYYY-MM-DD HH:MM:SS"; the weekday is derived.
  void Set(const std::string& text);
  void AdvanceMs(std::uint64_t ms) { tick_ += ms; }

 private:
  LocalTime now_;
  std::uint64_t tick_ = 0;
};

// Calendar arithmetic on local times, by the civil calendar alone: daylight-saving jumps do
// not count, as the texts these times come from carry none.
// Whole seconds from one local time to another (negative when to is earlier).
std::int64_t SecondsBetween(const LocalTime& from, const LocalTime& to);
// t moved by seconds; the weekday follows the new date.
LocalTime AddSeconds(const LocalTime& t, std::int64_t seconds);
LocalTime AddMinutes(const LocalTime& t, long minutes);
// Day of the week of a civil date, 0 = Sunday.
int WeekdayOf(int year, int month, int day);

// "Fri, 26 Jun 2026 10:15:00 +0200": the RFC 5322 date of a local time, with the offset of
// the local zone in force at that time.
std::string Rfc5322Date(const LocalTime& t);

// Parses "YYYY-MM-DD HH:MM:SS" (or "YYYY-MM-DD"); returns false when malformed.
bool ParseTimeText(const std::string& text, LocalTime& out);

}  // namespace varnel
