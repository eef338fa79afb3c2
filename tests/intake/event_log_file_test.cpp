#include "intake/event_log_file.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "intake/mail_to_event.h"
#include "platform/files.h"
#include "support/test_support.h"

namespace varnel {
namespace {

class EventLogFileTest : public testing::VarnelTest {};

TEST_F(EventLogFileTest, LinesBecomeEventsAndTheFileGoes) {
  std::vector<std::string> lines(2, "2026-01-05 10:00:00\t2 - Major\tsrv1\tdisk full\ton C:");
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

TEST_F(EventLogFileTest, PollAlarmReplacesTheList) {
  SetColumn("Settings_SNMP_Agent", "PollMeSource", "nms");
  ctx.events.Append("x", "y", "z", "w", "v");
  WriteNmsPollAlarmToEventList(ctx);
  ASSERT_EQ(ctx.events.Count(), 1);
  EXPECT_EQ(ctx.events[1].DateAndTime + ctx.events[1].Name + ctx.events[1].EventSource,
            "2026-06-26 10:15:00nmsInternal");
}

TEST_F(EventLogFileTest, MailTextsBecomeDropFileLines) {
  const std::pair<const char*, const char*> cases[] = {
      {"router1 2 link down on port 3", "2 - Major\trouter1\tlink down on port 3"},
      {"\"core switch\" \"critical error\" fan failed", "1 - Critical\tcore switch\tfan failed"},
      {"lonely", "1 - Critical\tlonely\tnoMessageArgument"},
      {"ups 4 on battery\r\nsince 10:00\r\n", "4 - Warning\tups\ton battery>>since 10:00"},
      {"ups 4 a\tb\nc", "4 - Warning\tups\ta b c"},
      {"a  b c", "1 - Critical\ta\tb c"},  // two blanks: an empty second argument
      {"", "1 - Critical\tnoSourceArgument\tnoMessageArgument"},
  };
  for (auto [text, line] : cases) {
    DeleteFile(File("Event.log"));
    WriteSmtpMailEventsToEventLog(ctx, text);
    EXPECT_EQ(ReadLines(File("Event.log")),
              std::vector<std::string>{"2026-06-26 10:15:00\t" + std::string(line)})
        << text;
  }
  for (auto [text, priority] : {std::pair{" p2 ", "2 - Major"},
                                {"indeterminate", "3 - Minor"},
                                {"whatever", "5 - Normal"},
                                {"", "1 - Critical"}})
    EXPECT_EQ(MailPriority(text), priority) << text;
}

}  // namespace
}  // namespace varnel
