#include "service/ini.h"

#include <gtest/gtest.h>

#include "platform/files.h"
#include "support/test_support.h"

namespace varnel {
namespace {

class IniTest : public testing::VarnelTest {
 protected:
  void WriteIni(const std::vector<std::string>& lines) { AppendLines(File("Varnel.ini"), lines); }
};

TEST_F(IniTest, DefaultsWithoutFile) {
  ctx.IsPrimary = false;
  ctx.ReadSmsCmd = true;
  Varnel_ini(ctx);
  EXPECT_TRUE(ctx.IsPrimary);
  EXPECT_FALSE(ctx.ReadSmsCmd);
  EXPECT_FALSE(ctx.SmtpMultiHomed);
  EXPECT_TRUE(log.entries.empty());
}

TEST_F(IniTest, LineRules) {
  WriteIni({
      "primarysystem = false",      // lower-case key, blanks around "=": read
      ";READSMSCMD=true",           // comment: ignored
      "[SMTPSERVERMULTIHOMED=true]",  // section-like line: ignored
      "A=1",                        // three characters: ignored
      "READSMSCMD true",            // no "=": ignored
      "UNKNOWNKEY=whatever",        // other keys ignored, even with a bad value
      "SmtpServerMultiHomed=-1",    // any non-zero number is true
  });
  Varnel_ini(ctx);
  EXPECT_FALSE(ctx.IsPrimary);
  EXPECT_FALSE(ctx.ReadSmsCmd);
  EXPECT_TRUE(ctx.SmtpMultiHomed);
  EXPECT_TRUE(log.entries.empty());
}

TEST_F(IniTest, LastLineWinsAndNumbersAreBooleans) {
  WriteIni({"READSMSCMD=0", "READSMSCMD=TRUE", "PRIMARYSYSTEM=1", "PRIMARYSYSTEM=0.0"});
  Varnel_ini(ctx);
  EXPECT_TRUE(ctx.ReadSmsCmd);
  EXPECT_FALSE(ctx.IsPrimary);
}

TEST_F(IniTest, NonBooleanValueEndsReadingButKeepsWhatWasRead) {
  WriteIni({"READSMSCMD=true", "PRIMARYSYSTEM=yes", "SMTPSERVERMULTIHOMED=true"});
  Varnel_ini(ctx);
  EXPECT_TRUE(ctx.ReadSmsCmd);
  EXPECT_TRUE(ctx.IsPrimary);        // default kept: the bad line was not applied
  EXPECT_FALSE(ctx.SmtpMultiHomed);  // after the bad line: not read
  ASSERT_EQ(Entries(106).size(), 1u);
  EXPECT_EQ(Entries(106)[0], "[13] Type mismatch (Module: Varnel_ini)");
  EXPECT_EQ(ctx.ErrorCount, 1);
}

TEST(IniBool, Words) {
  EXPECT_EQ(ParseIniBool("True"), true);
  EXPECT_EQ(ParseIniBool("FALSE"), false);
  EXPECT_EQ(ParseIniBool("2"), true);
  EXPECT_EQ(ParseIniBool("0"), false);
  EXPECT_EQ(ParseIniBool(""), std::nullopt);
  EXPECT_EQ(ParseIniBool("on"), std::nullopt);
  EXPECT_EQ(ParseIniBool("1x"), std::nullopt);
}

}  // namespace
}  // namespace varnel
