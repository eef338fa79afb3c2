#include "service/date_format.h"

#include <strings.h>

#include <cctype>
#include <cstdio>
#include <vector>

namespace varnel {
namespace {

const char* const kDayShort[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kDayLong[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                "Thursday", "Friday", "Saturday"};
const char* const kMonthShort[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kMonthLong[] = {"January",   "February", "March",    "April",
                                  "May",       "June",     "July",     "August",
                                  "September", "October",  "November", "December"};

using Token = DateTimePattern::Token;

std::vector<Token> Tokenize(const std::string& p) {
  std::vector<Token> out;
  for (std::size_t i = 0; i < p.size();) {
    char c = static_cast<char>(std::toupper(static_cast<unsigned char>(p[i])));
    if (c == 'A' && strncasecmp(p.c_str() + i, "AM/PM", 5) == 0) {
      out.push_back({'A', 5, {}});
      i += 5;
      continue;
    }
    if (c == 'Y' || c == 'M' || c == 'D' || c == 'H' || c == 'N' || c == 'S') {
      std::size_t j = i;
      while (j < p.size() && std::toupper(static_cast<unsigned char>(p[j])) == c) ++j;
      out.push_back({c, static_cast<int>(j - i), {}});
      i = j;
      continue;
    }
    if (!out.empty() && out.back().letter == 0)
      out.back().literal += p[i];
    else
      out.push_back({0, 0, std::string(1, p[i])});
    ++i;
  }
  // M right after an hour token, or right before a seconds token, means minutes.
  char lastTime = 0;
  for (std::size_t k = 0; k < out.size(); ++k) {
    Token& t = out[k];
    if (t.letter == 'M' && t.width <= 2) {
      bool nextIsSeconds = false;
      for (std::size_t n = k + 1; n < out.size(); ++n) {
        if (out[n].letter == 0) continue;
        nextIsSeconds = out[n].letter == 'S';
        break;
      }
      if (lastTime == 'H' || nextIsSeconds) t.letter = 'N';
    }
    if (t.letter != 0) lastTime = t.letter;
  }
  return out;
}

std::string Num(int v, int width) {
  char buf[16];
  std::snprintf(buf, sizeof buf, width >= 2 ? "%02d" : "%d", v);
  return buf;
}

}  // namespace

std::string FormatDateTime(const std::string& pattern, const LocalTime& t) {
  return DateTimePattern(pattern).Format(t);
}

DateTimePattern::DateTimePattern(const std::string& pattern) : tokens_(Tokenize(pattern)) {
  for (const auto& tok : tokens_) twelveHour_ |= tok.letter == 'A';
}

std::string DateTimePattern::Format(const LocalTime& t) const {
  std::string out;
  for (const auto& tok : tokens_) {
    switch (tok.letter) {
      case 0: out += tok.literal; break;
      case 'Y': out += tok.width >= 3 ? Num(t.year, 4) : Num(t.year % 100, 2); break;
      case 'M':
        if (tok.width >= 4)
          out += kMonthLong[t.month - 1];
        else if (tok.width == 3)
          out += kMonthShort[t.month - 1];
        else
          out += Num(t.month, tok.width);
        break;
      case 'D':
        if (tok.width >= 4)
          out += kDayLong[t.weekday];
        else if (tok.width == 3)
          out += kDayShort[t.weekday];
        else
          out += Num(t.day, tok.width);
        break;
      case 'H': {
        int h = t.hour;
        if (twelveHour_) h = h % 12 == 0 ? 12 : h % 12;
        out += Num(h, tok.width);
        break;
      }
      case 'N': out += Num(t.minute, tok.width); break;
      case 'S': out += Num(t.second, tok.width); break;
      case 'A': out += t.hour < 12 ? "AM" : "PM"; break;
    }
  }
  return out;
}

}  // namespace varnel
