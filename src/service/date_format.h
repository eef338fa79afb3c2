// Date and time patterns in the style of the database's DateFormat setting.
#pragma once
#include <string>

#include "platform/clock.h"

namespace varnel {

// Tokens (case-insensitive): YYYY YY, MMMM MMM MM M (minutes right after an hour token or
// before a seconds token), DDDD DDD DD D, HH H, NN N, SS S, AM/PM; anything else is literal.
std::string FormatDateTime(const std::string& pattern, const LocalTime& t);

}  // namespace varnel
