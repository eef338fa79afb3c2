#include "service/date_format.h"

#include <gtest/gtest.h>

namespace varnel {
namespace {

TEST(DateFormat, Patterns) {
  LocalTime t;
  ParseTimeText("2026-03-04 15:06:07", t);  // a Wednesday
  struct Case {
    const char* pattern;
    const char* expected;
  } cases[] = {
      {"YYYY-MM-DD", "2026-03-04"},
      {"yyyy-mm-dd", "2026-03-04"},
      {"DD.MM.YY", "04.03.26"},
      {"D/M/YYYY", "4/3/2026"},
      {"YYYY-MM-DD HH:MM:SS", "2026-03-04 15:06:07"},  // MM after HH means minutes
      {"HH:NN:SS", "15:06:07"},
      {"H:M", "15:6"},
      {"DDD DD MMM YYYY", "Wed 04 Mar 2026"},
      {"DDDD, MMMM D", "Wednesday, March 4"},
      {"HH:MM AM/PM", "03:06 PM"},
      {"MM:SS", "06:07"},  // MM before SS means minutes too
      {"[YYYY]", "[2026]"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatDateTime(c.pattern, t), c.expected) << c.pattern;
  ParseTimeText("2026-03-04 00:30:00", t);
  EXPECT_EQ(FormatDateTime("H:NN AM/PM", t), "12:30 AM");
}

}  // namespace
}  // namespace varnel
