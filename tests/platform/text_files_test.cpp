#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/text.h"
#include "support/test_support.h"

namespace varnel {
namespace {

TEST(Text, CutsCountCharactersAndWireBytesReadAsWindows1252) {
  std::string s = "\xC3\x84rende_12$";  // "Ärende_12$"
  EXPECT_EQ(CharLength(s), 10u);
  EXPECT_EQ(LeftChars(s, 1), "\xC3\x84");
  EXPECT_EQ(LeftChars(s, -3), "");
  EXPECT_EQ(MidChars(s, 2, 4), "rend");
  EXPECT_EQ(RightChars(s, 3), "12$");
  EXPECT_EQ(RightChars(s, 99), s);
  for (auto [wire, text] : {std::pair<std::string, std::string>{"caf\xE9", "caf\xC3\xA9"},
                            {"\x80", "\xE2\x82\xAC"},
                            {"ok \xC3\xA9", "ok \xC3\xA9"},  // valid UTF-8 passes unchanged
                            {std::string("a\0b", 3), std::string("a\0b", 3)}})
    EXPECT_EQ(FromWire(wire), text);
  EXPECT_EQ(CharLength(FromWire("\xC3")), 1u);  // a truncated sequence is one character
}

class FilesTest : public testing::VarnelTest {};

TEST_F(FilesTest, LinesWithAnyEndingAndErrorsWithClassicNumbers) {
  std::string path = dir + "/lines.txt";
  testing::WriteBytes(path, "a\r\nb\nc\rd", 8);
  EXPECT_EQ(ReadLines(path), (std::vector<std::string>{"a", "b", "c", "d"}));
  RewriteLines(path, {"x", ""});
  EXPECT_EQ(ReadLines(path), (std::vector<std::string>{"x", ""}));

  using testing::ErrorOf;
  EXPECT_EQ(ErrorOf([&] { ReadLines(dir + "/missing.txt"); }), err::kFileNotFound);
  EXPECT_EQ(ErrorOf([&] { AppendLines(dir + "/no/dir/x.txt", {"x"}); }), err::kPathNotFound);
  EXPECT_EQ(ErrorOf([&] { ReadLines(dir); }), err::kPathFileAccess);  // a directory
  EXPECT_EQ(ErrorOf([&] { DeleteFile(dir + "/missing.txt"); }), 0);
}

LocalTime At(const std::string& text) {
  LocalTime t;
  EXPECT_TRUE(ParseTimeText(text, t)) << text;
  return t;
}

TEST(CalendarArithmetic, MovesAcrossMonthsYearsAndLeapDays) {
  struct Case {
    const char* from;
    long minutes;
    const char* to;
    int weekday;
  };
  for (const Case& c : {Case{"2026-06-26 10:15:00", 10, "2026-06-26 10:25:00", 5},
                        {"2026-12-31 23:59:30", 1, "2027-01-01 00:00:30", 5},
                        {"2024-02-28 23:00:00", 60, "2024-02-29 00:00:00", 4},
                        {"2100-02-28 23:00:00", 60, "2100-03-01 00:00:00", 1},
                        {"2000-03-01 00:10:00", -20, "2000-02-29 23:50:00", 2},
                        {"1970-01-01 00:00:00", -1, "1969-12-31 23:59:00", 3}}) {
    const LocalTime to = AddMinutes(At(c.from), c.minutes);
    EXPECT_EQ(to.Text(), c.to) << c.from;
    EXPECT_EQ(to.weekday, c.weekday) << c.to;
    EXPECT_EQ(At(c.to).weekday, c.weekday) << c.to;
    EXPECT_EQ(SecondsBetween(At(c.from), At(c.to)), c.minutes * 60) << c.from;
  }
}

TEST(CalendarArithmetic, MailDatesCarryTheZoneOffsetInForceThen) {
  const char* old = std::getenv("TZ");
  const std::string saved = old ? old : "";
  ::setenv("TZ", "Europe/Stockholm", 1);
  ::tzset();
  EXPECT_EQ(Rfc5322Date(At("2026-06-26 10:15:00")), "Fri, 26 Jun 2026 10:15:00 +0200");
  EXPECT_EQ(Rfc5322Date(At("2026-01-05 08:00:09")), "Mon, 05 Jan 2026 08:00:09 +0100");
  old ? ::setenv("TZ", saved.c_str(), 1) : ::unsetenv("TZ");
  ::tzset();
}

}  // namespace
}  // namespace varnel
