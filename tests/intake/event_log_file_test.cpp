#include "intake/event_log_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "intake/mail_to_event.h"
#include "platform/files.h"
#include "support/test_support.h"

namespace varnel {
namespace {

class EventLogFileTest : public testing::VarnelTest {};

TEST_F(EventLogFileTest, LinesBecomeEventsAndTheFileGoes) {
  std::vector<std::string> lines;
  lines.push_back("2026-01-05 10:00:00\t2 - Major\tsrv1\tdisk full\ton C:");
  lines.push_back("2026-01-05 10:00:00\t2 - Major\tsrv1\tdisk full\ton C:");  // duplicate
  lines.push_back("no tabs at all");
  lines.push_back("two\ttabs\tonly");
  for (int i = 0; i < 310; ++i)
    lines.push_back("2026-01-05 10:00:01\t3 - Minor\tn\tevent " + std::to_string(i));
  AppendLines(File("Event.log"), lines);
  ctx.events.Clear();
  WriteEventLogEventsToEventList(ctx);
  EXPECT_FALSE(FileExists(File("Event.log")));
  // 300 were taken; the duplicate of the first was removed from them afterwards.
  EXPECT_EQ(ctx.events.Count(), 299);
  EXPECT_EQ(ctx.events[1].Name, "srv1");
  EXPECT_EQ(ctx.events[1].Message, "disk full on C:");
  EXPECT_EQ(ctx.events[1].EventSource, "Log File");
  EXPECT_EQ(ctx.events[2].Message, "event 0");
  EXPECT_TRUE(ctx.events[300].Free());
}

TEST_F(EventLogFileTest, UnreadableDropFileIsReportedAndKept) {
  ASSERT_EQ(::mkdir(File("Event.log").c_str(), 0755), 0);
  WriteEventLogEventsToEventList(ctx);
  ASSERT_EQ(Entries(106).size(), 1u);
  EXPECT_NE(Entries(106)[0].find("(Module: WriteEventLogEventsToEventList)"), std::string::npos);
  EXPECT_TRUE(FileExists(File("Event.log")));
}

TEST_F(EventLogFileTest, TraceOfLinesAndList) {
  ctx.DebugMode = "Event Sources";
  AppendLines(File("Event.log"), {"2026-01-05 10:00:00\t4 - Warning\tups\ton battery"});
  ctx.events.Clear();
  WriteEventLogEventsToEventList(ctx);
  EXPECT_EQ(ReadLines(File("Debug/Event_LogFile.txt")),
            (std::vector<std::string>{"2026-01-05 10:00:00\t4 - Warning\tups\ton battery"}));
  auto dump = ReadLines(File("Debug/Event_List.txt"));
  ASSERT_GE(dump.size(), 8u);
  EXPECT_EQ(dump[0], "2026-06-26 10:15:00 ***** Event List (from Event.log) *****");
  EXPECT_EQ(dump[2], "InEventsDateAndTime(1)=2026-01-05 10:00:00");
  EXPECT_EQ(dump[5], "InEventsMessage(1)=on battery");
}

TEST_F(EventLogFileTest, PollAlarmIsTheFirstEntry) {
  SetColumn("Settings_SNMP_Agent", "PollMeSeverity", "2 - Major");
  SetColumn("Settings_SNMP_Agent", "PollMeSource", "nms");
  SetColumn("Settings_SNMP_Agent", "PollMeMessage", "not polled");
  ctx.events.Append("x", "y", "z", "w", "v");
  WriteNmsPollAlarmToEventList(ctx);
  EXPECT_EQ(ctx.events.Count(), 1);
  EXPECT_EQ(ctx.events[1].DateAndTime, "2026-06-26 10:15:00");
  EXPECT_EQ(ctx.events[1].Name, "nms");
  EXPECT_EQ(ctx.events[1].EventSource, "Internal");
}

TEST(MailToEvent, CommandLineSplit) {
  auto a = GetCommandLine("router1 2 link down on port 3");
  EXPECT_EQ(a, (std::array<std::string, 3>{"router1", "2", "link down on port 3"}));
  auto b = GetCommandLine("\"core switch\" \"critical error\" fan failed");
  EXPECT_EQ(b, (std::array<std::string, 3>{"core switch", "critical error", "fan failed"}));
  auto c = GetCommandLine("a  b c");  // two blanks: an empty second argument
  EXPECT_EQ(c, (std::array<std::string, 3>{"a", "", "b c"}));
  EXPECT_EQ(MailPriority(" p2 "), "2 - Major");
  EXPECT_EQ(MailPriority("CRITICAL ERROR"), "1 - Critical");
  EXPECT_EQ(MailPriority("indeterminate"), "3 - Minor");
  EXPECT_EQ(MailPriority("s4"), "4 - Warning");
  EXPECT_EQ(MailPriority("whatever"), "5 - Normal");
  EXPECT_EQ(MailPriority(""), "1 - Critical");
}

class MailToEventTest : public testing::VarnelTest {
 protected:
  std::string LineFor(const std::string& text) {
    DeleteFile(File("Event.log"));
    WriteSmtpMailEventsToEventLog(ctx, text);
    auto lines = ReadLines(File("Event.log"));
    return lines.empty() ? "" : lines[0];
  }
};

TEST_F(MailToEventTest, LinesOfTheExamples) {
  EXPECT_EQ(LineFor("router1 2 link down on port 3"),
            "2026-06-26 10:15:00\t2 - Major\trouter1\tlink down on port 3");
  EXPECT_EQ(LineFor("\"core switch\" \"critical error\" fan failed"),
            "2026-06-26 10:15:00\t1 - Critical\tcore switch\tfan failed");
  EXPECT_EQ(LineFor("lonely"), "2026-06-26 10:15:00\t1 - Critical\tlonely\tnoMessageArgument");
  EXPECT_EQ(LineFor("ups 4 on battery\r\nsince 10:00\r\n"),
            "2026-06-26 10:15:00\t4 - Warning\tups\ton battery>>since 10:00");
  EXPECT_EQ(LineFor("ups 4 a\tb\nc"), "2026-06-26 10:15:00\t4 - Warning\tups\ta b c");
  EXPECT_EQ(LineFor(""), "2026-06-26 10:15:00\t1 - Critical\tnoSourceArgument\tnoMessageArgument");
}

}  // namespace
}  // namespace varnel
