#include "delivery/direct_messages.h"

#include <gtest/gtest.h>

#include "platform/files.h"
#include "support/test_support.h"

namespace varnel {
namespace {

using testing::Texts;

// "Fax" has no transport, so these tests record deliveries without sending anything.
std::string SnmpLine(const std::string& name, const std::string& digit = "2") {
  return "2026-06-26 10:00:00\tFax\tTelia\t" + name + "\t+4670\tx\t" + digit + "\ttext " + name;
}

class DirectMessageTest : public testing::VarnelTest {
 protected:
  void Drop(const std::string& file, const Texts& lines) { AppendLines(File(file), lines); }
  Texts Alarm(const std::string& column) { return Column("LogFiles_Alarm", column); }
};

TEST_F(DirectMessageTest, FiftyMessagesACycleShortLinesSkippedTheRestKeptForTheNext) {
  Texts lines{"2026-06-26 10:00:00\tFax\tTelia\tshort", ""}, first;  // too few TABs
  for (int k = 1; k <= 52; ++k) lines.push_back(SnmpLine("r" + std::to_string(k)));
  for (int k = 1; k <= 50; ++k) first.push_back("r" + std::to_string(k));
  Drop("SnmpMess.log", lines);
  ProcessSnmpMessage(ctx);
  EXPECT_EQ(Alarm("Receiver"), first);  // skipped lines take no place among the fifty
  EXPECT_EQ(Column("LogFiles_Event", "NodeName"), first);
  EXPECT_EQ(Lines("SnmpMess.log"), (Texts{SnmpLine("r51"), SnmpLine("r52")}));

  ProcessSnmpMessage(ctx);
  EXPECT_EQ(Alarm("Receiver").size(), 52u);
  EXPECT_EQ(Alarm("Message").back(), "text r52");
  EXPECT_FALSE(FileExists(File("SnmpMess.log")));
  EXPECT_EQ(ctx.ErrorCount, 0);
}

TEST_F(DirectMessageTest, PriorityDigitGivesTheSeverityWordAnythingElseNone) {
  // clang-format off
  const struct { const char* digit; const char* priority; } cases[] = {
      {"1", "1 - Critical"}, {"5", "5 - Normal"}, {"0", ""}, {"6", ""}, {" 3", ""},
      {"2 - Major", ""}};  // clang-format on
  Texts lines, want;
  for (const auto& c : cases) {
    lines.push_back(SnmpLine("n", c.digit));
    want.push_back(c.priority);
  }
  Drop("SnmpMess.log", lines);
  ProcessSnmpMessage(ctx);
  EXPECT_EQ(Column("LogFiles_Event", "Priority"), want);
  EXPECT_EQ(Column("LogFiles_Event", "EventSource"), Texts(lines.size(), "SNMP Trap"));
}

TEST_F(DirectMessageTest, DirectMessagesAreNotSentAgainByALaterSendListRun) {
  Drop("SmtpMess.log", {"2026-06-26 10:00:00\tFax\tRelay\tops@example.org\tOps\thello"});
  ProcessSmtpMessage(ctx);
  for (int i = 1; i <= kMaxSendList; ++i) EXPECT_TRUE(ctx.delivery.SendList[i].Free()) << i;
  EXPECT_EQ(Alarm("Receiver"), Texts{"Ops"});
}

}  // namespace
}  // namespace varnel
