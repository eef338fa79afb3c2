// Date and time patterns in the style of the database's DateFormat setting.
#pragma once
#include <string>
#include <vector>

#include "platform/clock.h"

namespace varnel {

// Tokens (case-insensitive): YYYY YY, MMMM MMM MM M (minutes right after an hour token or
// before a seconds token), DDDD DDD DD D, HH H, NN N, SS S, AM/PM; anything else is literal.
std::string FormatDateTime(const std::string& pattern, const LocalTime& t);

// A pattern read once, for callers that format many times with it.
class DateTimePattern {
 public:
  explicit DateTimePattern(const std::string& pattern);
  std::string Format(const LocalTime& t) const;

  struct Token {
    char letter = 0;  // 'Y','M','D','H','N','S','A' (AM/PM) or 0 for literal text
    int width = 0;
    std::string literal;
  };

 private:
  std::vector<Token> tokens_;
  bool twelveHour_ = false;
};

}  // namespace varnel
