#include "service/update_event_log.h"

#include <gtest/gtest.h>

#include "platform/error.h"
#include "service/event_list.h"
#include "support/test_support.h"

namespace varnel {
namespace {

class UpdateEventLogTest : public testing::VarnelTest {
 protected:
  std::vector<std::string> Indexes() {
    Database db = Db();
    std::vector<std::string> out;
    for (Table t = db.Open("LogFiles_Event"); !t.Eof(); t.MoveNext())
      out.push_back(t.Text("Index"));
    return out;
  }
};

TEST_F(UpdateEventLogTest, WritesRowsWithDayStampAndCuts) {
  SetColumn("Settings_General", "LogIndexEvent", "7");
  std::string longName(150, 'n');
  std::string longMessage = std::string(249, 'm') + "\xC3\x84\xC3\x84";  // 251 characters
  ctx.events.Append("2026-06-26 10:14:59", kCritical, longName, longMessage,
                    "A source word longer than twenty-five");
  UpdateEventLog(ctx);
  Database db = Db();
  Table t = db.Open("LogFiles_Event");
  EXPECT_EQ(t.Int32("Index"), 606260007);
  EXPECT_EQ(t.Text("DateAndTime"), "2026-06-26 10:14:59");
  EXPECT_EQ(t.Text("Priority"), kCritical);
  EXPECT_EQ(t.Text("NodeName"), std::string(100, 'n'));
  EXPECT_EQ(t.Text("Message"), std::string(249, 'm') + "\xC3\x84");  // never half a character
  EXPECT_EQ(t.Text("EventSource"), "A source word longer than");
  EXPECT_EQ(GetColumn("Settings_General", "LogIndexEvent"), "8");
  EXPECT_EQ(ctx.events[1].Name, longName);  // the list keeps the full name for the filter
}

TEST_F(UpdateEventLogTest, StopsAtThreeThousandADayButAdvancesTheCounter) {
  SetColumn("Settings_General", "LogIndexEvent", "2999");
  for (int i = 0; i < 5; ++i)
    ctx.events.Append("2026-06-26 10:14:0" + std::to_string(i), kMajor, "n", "m", kSourceSyslog);
  UpdateEventLog(ctx);
  EXPECT_EQ(Indexes(), (std::vector<std::string>{"606262999", "606263000"}));
  EXPECT_EQ(GetColumn("Settings_General", "LogIndexEvent"), "3004");
  UpdateEventLog(ctx);  // counter beyond 3000: nothing more is logged today
  EXPECT_EQ(Indexes().size(), 2u);
  EXPECT_EQ(GetColumn("Settings_General", "LogIndexEvent"), "3009");
}

TEST_F(UpdateEventLogTest, MissingTableIsReportedAndTheListStays) {
  Db().Exec("DROP TABLE LogFiles_Event");
  ctx.events.Append("2026-06-26 10:14:00", kMajor, "n", "m", kSourceSyslog);
  UpdateEventLog(ctx);
  EXPECT_EQ(Entries(106), std::vector<std::string>{
                              "[3001] no such table: LogFiles_Event (Module: UpdateEventLog)"});
  EXPECT_EQ(GetColumn("Settings_General", "LogIndexEvent"), "2");  // advanced from 1
  EXPECT_EQ(ctx.events.Count(), 1);
  EXPECT_EQ(ctx.LastErrorText, "2026-06-26: no such table: LogFiles_Event");
}

TEST_F(UpdateEventLogTest, LockedDatabaseIsReportedNotFatal) {
  Database holder = Db();
  holder.Exec("BEGIN EXCLUSIVE");
  ctx.events.Append("2026-06-26 10:14:59", kCritical, "n", "m", "s");
  UpdateEventLog(ctx);  // waits out the busy time-out, then reports
  ASSERT_EQ(Entries(106).size(), 1u);
  EXPECT_NE(Entries(106)[0].find("[3005] database is locked"), std::string::npos);
  holder.Exec("ROLLBACK");
}

TEST(EventList, HoldsThreeHundredAndCompactEmptiesTheSlotsItVacates) {
  EventList l;
  for (int i = 1; i <= 301; ++i)
    l.Append("2026-01-01 00:00:00", kMajor, "node" + std::to_string(i), "m", kSourceSyslog);
  EXPECT_EQ(l.Count(), 300);
  EXPECT_EQ(l[300].Name, "node300");
  EXPECT_THROW(l[301], VarnelError);
  EXPECT_THROW(l[0], VarnelError);
  for (int i = 1; i <= 300; ++i)
    if (i != 1 && i != 3 && i != 300) l.Remove(i);
  l.Compact();
  EXPECT_EQ(l.Count(), 3);
  EXPECT_EQ(l[1].Name + l[2].Name + l[3].Name, "node1node3node300");
  // Free slots above the last entry: a later walk over all 300 sees no copies.
  for (int i = 4; i <= kMaxEvents; ++i) EXPECT_TRUE(l[i].Free()) << i;
  EXPECT_TRUE(l.Append("2026-01-01 00:00:02", kMinor, "node6", "m", kSourceSyslog));
  EXPECT_EQ(l[4].Name, "node6");
  l.Clear();
  EXPECT_EQ(l.Count(), 0);
  EXPECT_TRUE(l[1].Free() && l[1].Message.empty());
}

}  // namespace
}  // namespace varnel
