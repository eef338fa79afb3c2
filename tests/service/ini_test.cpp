#include "service/ini.h"

#include <gtest/gtest.h>

#include "platform/files.h"
#include "support/test_support.h"

namespace varnel {
namespace {

class IniTest : public testing::VarnelTest {};

TEST_F(IniTest, LineRulesLastLineWinsAndABadValueEndsReading) {
  const struct {
    std::vector<std::string> lines;
    bool primary, readSms, multiHomed;
    const char* error;
  } cases[] = {
      {{}, true, false, false, nullptr},  // no file: the defaults
      {{"primarysystem = false",          // lower-case key, blanks around "=": read
        "UNKNOWNKEY=whatever",            // other keys are ignored, even with a bad value
        "SmtpServerMultiHomed=-1"},       // any non-zero number is true
       false,
       false,
       true,
       nullptr},
      {{"READSMSCMD=0", "READSMSCMD=TRUE", "PRIMARYSYSTEM=2", "PRIMARYSYSTEM=0.0"},
       false,
       true,
       false,
       nullptr},
      // The bad line is not applied and nothing after it is read.
      {{"READSMSCMD=true", "PRIMARYSYSTEM=yes", "SMTPSERVERMULTIHOMED=true"},
       true,
       true,
       false,
       "[13] Type mismatch (Module: Varnel_ini)"},
      {{"PRIMARYSYSTEM=1x", "READSMSCMD=true"},
       true,
       false,
       false,
       "[13] Type mismatch (Module: Varnel_ini)"},
  };
  for (const auto& c : cases) {
    DeleteFile(File("Varnel.ini"));
    if (!c.lines.empty()) AppendLines(File("Varnel.ini"), c.lines);
    ctx.IsPrimary = false;
    ctx.ReadSmsCmd = true;
    ctx.SmtpMultiHomed = true;
    log.entries.clear();
    Varnel_ini(ctx);
    std::string first = c.lines.empty() ? "" : c.lines[0];
    EXPECT_EQ(std::tuple(ctx.IsPrimary, ctx.ReadSmsCmd, ctx.SmtpMultiHomed),
              std::tuple(c.primary, c.readSms, c.multiHomed))
        << first;
    EXPECT_EQ(Entries(106),
              c.error ? std::vector<std::string>{c.error} : std::vector<std::string>{})
        << first;
  }
}

}  // namespace
}  // namespace varnel
