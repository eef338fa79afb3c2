#include "platform/clock.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace varnel {
namespace {

constexpr std::int64_t kSecondsPerDay = 86400;

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian calendar).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2));
}

int WeekdayOfDays(std::int64_t days) { return static_cast<int>(((days % 7) + 11) % 7); }

std::int64_t EpochSeconds(const LocalTime& t) {
  return DaysFromCivil(t.year, static_cast<unsigned>(t.month), static_cast<unsigned>(t.day)) *
             kSecondsPerDay +
         t.hour * 3600 + t.minute * 60 + t.second;
}

}  // namespace

std::int64_t SecondsBetween(const LocalTime& from, const LocalTime& to) {
  return EpochSeconds(to) - EpochSeconds(from);
}

LocalTime AddSeconds(const LocalTime& t, std::int64_t seconds) {
  const std::int64_t s = EpochSeconds(t) + seconds;
  std::int64_t days = s / kSecondsPerDay, rest = s % kSecondsPerDay;
  if (rest < 0) {
    rest += kSecondsPerDay;
    --days;
  }
  LocalTime out;
  CivilFromDays(days, out.year, out.month, out.day);
  out.hour = static_cast<int>(rest / 3600);
  out.minute = static_cast<int>(rest / 60 % 60);
  out.second = static_cast<int>(rest % 60);
  out.weekday = WeekdayOfDays(days);
  return out;
}

LocalTime AddMinutes(const LocalTime& t, long minutes) {
  return AddSeconds(t, static_cast<std::int64_t>(minutes) * 60);
}

int WeekdayOf(int year, int month, int day) {
  return WeekdayOfDays(
      DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)));
}

std::string Rfc5322Date(const LocalTime& t) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::tm tm{};
  tm.tm_year = t.year - 1900;
  tm.tm_mon = t.month - 1;
  tm.tm_mday = t.day;
  tm.tm_hour = t.hour;
  tm.tm_min = t.minute;
  tm.tm_sec = t.second;
  tm.tm_isdst = -1;
  const std::time_t s = std::mktime(&tm);
  std::tm local{};
  long offset = 0;
  if (s != static_cast<std::time_t>(-1) && localtime_r(&s, &local)) offset = local.tm_gmtoff / 60;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld",
                kDays[WeekdayOf(t.year, t.month, t.day)], t.day, kMonths[(t.month + 11) % 12],
                t.year, t.hour, t.minute, t.second, offset < 0 ? '-' : '+', std::labs(offset) / 60,
                std::labs(offset) % 60);
  return buf;
}

std::string LocalTime::Text() const {
  // Written digit by digit: it stamps every received event, and printf costs more than the rest.
  const int fields[] = {year, month, day, hour, minute, second};
  bool inRange = year >= 0 && year <= 9999;
  for (int i = 1; i < 6; ++i) inRange = inRange && fields[i] >= 0 && fields[i] <= 99;
  if (!inRange) {
    char buf[80];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, hour,
                  minute, second);
    return buf;
  }
  std::string text = "0000-00-00 00:00:00";
  auto put = [&text](std::size_t end, int value) {
    for (std::size_t i = end; value > 0; --i, value /= 10) text[i] = static_cast<char>('0' + value % 10);
  };
  put(3, year);
  put(6, month);
  put(9, day);
  put(12, hour);
  put(15, minute);
  put(18, second);
  return text;
}

std::string LocalTime::DateText() const { return Text().substr(0, 10); }

std::string LocalTime::HourMinute() const { return Text().substr(11, 5); }

LocalTime ToLocalTime(std::time_t t) {
  std::tm tm{};
  localtime_r(&t, &tm);
  return LocalTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
                   tm.tm_min,         tm.tm_sec,     tm.tm_wday};
}

LocalTime SystemClock::Now() const {
  // The breakdown is kept for the second it belongs to: every received event asks for the
  // time, and the time zone conversion costs more than the rest of taking an event in.
  thread_local std::time_t keptSecond = -1;
  thread_local LocalTime kept;
  const std::time_t now = std::time(nullptr);
  if (now != keptSecond) {
    kept = ToLocalTime(now);
    keptSecond = now;
  }
  return kept;
}

std::uint64_t SystemClock::TickMs() const {
  using namespace std::chrono;
  return static_cast<std::uint64_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

bool ParseTimeText(const std::string& text, LocalTime& out) {
  LocalTime t;
  int n = 0;
  if (text.size() == 10) {
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d%n", &t.year, &t.month, &t.day, &n) != 3 || n != 10)
      return false;
  } else if (std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%n", &t.year, &t.month, &t.day,
                         &t.hour, &t.minute, &t.second, &n) != 6 ||
             n != 19) {
    return false;
  }
  if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 || t.hour > 23 || t.minute > 59 ||
      t.second > 59)
    return false;
  t.weekday = WeekdayOf(t.year, t.month, t.day);
  out = t;
  return true;
}

void FakeClock::Set(const std::string& text) {
  LocalTime t;
  if (ParseTimeText(text, t)) now_ = t;
}

}  // namespace varnel
