#include "delivery/process_send_list.h"

#include <gtest/gtest.h>

#include "delivery/alarm_log.h"
#include "delivery_fixture.h"
#include "service/errors.h"

namespace varnel {
namespace {

// What the transport was handed, attempt by attempt.
std::vector<std::string> delivered;

void RecordingTransport(Varnel&, SendEntry& e) {
  delivered.push_back(e.RecvMess);
  e.RecvSendStatusInt = 1;
  e.RecvSendStatus = "sent #" + std::to_string(delivered.size());
}

class ProcessSendListTest : public testing::DeliveryTest {
 protected:
  ProcessSendListTest() { delivered.clear(); }

  void SetSplitting(bool oneMessOneEvent, int maxMessages) {
    SetColumn("Event_CheckInterval", "OneMessOneEvent", oneMessOneEvent ? "1" : "0");
    SetColumn("Event_CheckInterval", "MaxMessages", std::to_string(maxMessages));
  }
  SendEntry& Entry(int i, const std::string& name, const std::string& type,
                   const std::string& mess) {
    SendEntry& e = ctx.delivery.SendList[i];
    e.RecvName = name;
    e.RecvType = type;
    e.RecvMess = mess;
    return e;
  }
};

TEST(SplitGroupText, PiecesAndTheAcknowledgementPrefix) {
  using V = std::vector<std::string>;
  EXPECT_EQ(SplitGroupText("a>>b>>c", 0), (V{"a", "b", "c"}));
  EXPECT_EQ(SplitGroupText("a>>b>>c", -1), (V{"a", "b", "c"}));
  EXPECT_EQ(SplitGroupText("a>>b>>c", 2), (V{"a", "b"}));
  EXPECT_EQ(SplitGroupText("<ID=901> a>>b", 0), (V{"<ID=901> a", "<ID=901> b"}));
  EXPECT_EQ(SplitGroupText("a>>>b", 0), (V{"a", ">b"}));
  EXPECT_EQ(SplitGroupText("a>>>>b>>", 0), (V{"a", "", "b", ""}));
  // "<ID=" inside an event's text is no prefix.
  EXPECT_EQ(SplitGroupText("x <ID=1>>y", 0), (V{"x <ID=1", "y"}));
}

TEST_F(ProcessSendListTest, OneMessagePerEventUpToMaxMessages) {
  SetSplitting(true, 2);
  Entry(1, "ann", "PhoneMO", "e1>>e2>>e3");
  Entry(3, "bob", "PhoneMO", "<ID=907> d1>>d2>>d3");
  Entry(4, "cid", "PhoneMO", "single event");
  ProcessSendList(ctx, RecordingTransport);

  EXPECT_EQ(delivered, (std::vector<std::string>{"e1", "e2", "<ID=907> d1", "<ID=907> d2",
                                                 "single event"}));
  std::vector<AlarmRow> rows = AlarmRows();
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[0].Message, "e1");
  EXPECT_EQ(rows[1].Message, "e2");
  EXPECT_EQ(rows[1].SendStatus, "sent #2");
  EXPECT_EQ(rows[3].Receiver, "bob");
  EXPECT_EQ(rows[3].Message, "<ID=907> d2");
  EXPECT_EQ(ctx.delivery.SendList[1].RecvMess, "e2");  // the last piece sent

  delivered.clear();
  SetSplitting(true, 0);
  Entry(1, "ann", "PhoneMO", "e1>>e2>>e3");
  ProcessSendList(ctx, RecordingTransport);
  // Bob's entry now holds its last piece only, so it goes once.
  EXPECT_EQ(delivered, (std::vector<std::string>{"e1", "e2", "e3", "<ID=907> d2",
                                                 "single event"}));
}

TEST_F(ProcessSendListTest, GroupTextsTravelWholeWithoutOneMessOneEvent) {
  SetSplitting(false, 1);
  Entry(2, "ann", "PhoneMO", "e1>>e2>>e3");
  ProcessSendList(ctx, RecordingTransport);
  EXPECT_EQ(delivered, (std::vector<std::string>{"e1>>e2>>e3"}));
  ASSERT_EQ(AlarmRows().size(), 1u);
  EXPECT_EQ(AlarmRows()[0].SendStatusInt, "1");
  EXPECT_TRUE(ctx.LogChanged);
}

TEST_F(ProcessSendListTest, TypesWithoutATransportAreLoggedWithCodeZero) {
  SetSplitting(false, 0);
  Entry(1, "fax", "Fax", "m1");
  Entry(2, "gsm", "PhoneMO", "m2");
  Entry(3, "pager", "PagerNum", "m3");
  ProcessSendList(ctx);
  std::vector<AlarmRow> rows = AlarmRows();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].SendType, "Fax");
  EXPECT_EQ(rows[0].SendStatusInt, "0");
  EXPECT_EQ(rows[0].SendStatus, "");
  EXPECT_EQ(rows[1].SendType, "PhoneMO");
  EXPECT_EQ(rows[2].SendStatusInt, "0");
  EXPECT_EQ(ctx.ErrorCount, 0);
}

class AlarmLogTest : public testing::DeliveryTest {
 protected:
  AlarmLogTest() { SetColumn("Settings_General", "LogIndexAlarm", "0"); }
};

TEST_F(AlarmLogTest, RowOfASendListEntry) {
  clock.Set("2018-06-26 14:05:09");
  ctx.LastHour = 14;
  SetColumn("Settings_General", "LogIndexAlarm", "4");
  SendEntry& e = ctx.delivery.SendList[7];
  e.RecvName = std::string(120, 'r');
  e.RecvType = "MailSMTP";
  e.RecvMess = std::string(240, 'm') + "\r\nline two is long enough to be cut";
  e.RecvSendStatus = std::string(130, 's');
  e.RecvSendStatusInt = 3;
  UpdateAlarmLog(ctx, 7, kSendList);

  std::vector<AlarmRow> rows = AlarmRows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].Index, "806260004");
  EXPECT_EQ(rows[0].DateAndTime, "2018-06-26 14:05:09");
  EXPECT_EQ(rows[0].Receiver, std::string(100, 'r'));
  EXPECT_EQ(rows[0].Message, std::string(240, 'm') + ">>line two");  // cut first, then ">>"
  EXPECT_EQ(rows[0].SendStatus, std::string(100, 's'));
  EXPECT_EQ(rows[0].SendStatusInt, "3");
  EXPECT_EQ(rows[0].SendType, "MailSMTP");
  EXPECT_EQ(GetColumn("Settings_General", "LogIndexAlarm"), "5");
  EXPECT_TRUE(ctx.LogChanged);
}

TEST_F(AlarmLogTest, FirstCycleOfANewDayCountsToTheDayBefore) {
  clock.Set("2026-07-01 00:00:05");
  ctx.LastHour = 23;  // the hourly jobs of the new day have not run yet
  UpdateAlarmLog(ctx, 1, kSendList);
  ctx.LastHour = 0;
  UpdateAlarmLog(ctx, 1, kSendList);
  std::vector<AlarmRow> rows = AlarmRows();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].Index, "606300000");
  EXPECT_EQ(rows[0].DateAndTime, "2026-07-01 00:00:05");
  EXPECT_EQ(rows[1].Index, "607010001");
}

TEST_F(AlarmLogTest, RowsStopAfterCounterThreeThousand) {
  SetColumn("Settings_General", "LogIndexAlarm", "2999");
  for (int n = 0; n < 4; ++n) UpdateAlarmLog(ctx, 1, kSendList);
  std::vector<AlarmRow> rows = AlarmRows();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1].Index, "606263000");
  EXPECT_EQ(GetColumn("Settings_General", "LogIndexAlarm"), "3003");
}

TEST_F(AlarmLogTest, TheOtherListsAndAnUnknownName) {
  BufferEntry& b = ctx.delivery.BufferList[50];
  b.BufferRecvName = "night";
  b.BufferRecvType = "PhoneMO";
  b.BufferRecvMess = "held back";
  b.BufferRecvSendStatus = "ok";
  b.BufferRecvSendStatusInt = 1;
  ctx.delivery.TestMessage = {"tester", "PagerNum", "test", "3", "failed"};
  UpdateAlarmLog(ctx, 50, kBufferList);
  UpdateAlarmLog(ctx, 0, kTestMessage);
  UpdateAlarmLog(ctx, 1, "JourList");
  std::vector<AlarmRow> rows = AlarmRows();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].Receiver, "night");
  EXPECT_EQ(rows[0].Message, "held back");
  EXPECT_EQ(rows[1].Receiver, "tester");
  EXPECT_EQ(rows[1].SendStatusInt, "3");
  EXPECT_EQ(rows[1].SendType, "PagerNum");
  EXPECT_EQ(rows[2].Index, "606260002");
  EXPECT_EQ(rows[2].Receiver, "");
  EXPECT_EQ(rows[2].SendStatusInt, "0");

  // An index outside its list is an error of the call, and the counter still advances.
  UpdateAlarmLog(ctx, 51, kBufferList);
  EXPECT_EQ(AlarmRows().size(), 3u);
  ASSERT_EQ(Entries(evt::kRuntimeError).size(), 1u);
  EXPECT_EQ(Entries(evt::kRuntimeError)[0],
            "[9] Subscript out of range (Module: UpdateAlarmLog)");
  EXPECT_EQ(GetColumn("Settings_General", "LogIndexAlarm"), "4");
}

}  // namespace
}  // namespace varnel
