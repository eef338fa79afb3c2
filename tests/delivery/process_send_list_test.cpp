#include "delivery/process_send_list.h"

#include <gtest/gtest.h>

#include "delivery/alarm_log.h"
#include "service/errors.h"
#include "support/test_support.h"

namespace varnel {
namespace {

using V = std::vector<std::string>;

// What the transport was handed, attempt by attempt.
V delivered;

void RecordingTransport(Varnel&, SendEntry& e) {
  delivered.push_back(e.RecvMess);
  e.RecvSendStatusInt = 1;
  e.RecvSendStatus = "sent #" + std::to_string(delivered.size());
}

class AlarmLogTest : public testing::VarnelTest {
 protected:
  AlarmLogTest() {
    delivered.clear();
    SetColumn("Settings_General", "LogIndexAlarm", "0");
  }
  // One column of every alarm log row, in order.
  V Alarm(const std::string& column) {
    Database db = Db();
    V out;
    for (Table t = db.Open("LogFiles_Alarm"); !t.Eof(); t.MoveNext()) out.push_back(t.Text(column));
    return out;
  }
  void Entry(int i, const std::string& name, const std::string& type, const std::string& mess) {
    SendEntry& e = ctx.delivery.SendList[i];
    e = {};
    e.RecvName = name;
    e.RecvType = type;
    e.RecvMess = mess;
  }
  void Splitting(bool oneMessOneEvent, int maxMessages) {
    Update("Event_CheckInterval", "OneMessOneEvent = " + std::to_string(oneMessOneEvent) +
                                      ", MaxMessages = " + std::to_string(maxMessages));
  }
};

TEST(SplitGroupText, PiecesAndTheAcknowledgementPrefix) {
  EXPECT_EQ(SplitGroupText("a>>b>>c", -1), (V{"a", "b", "c"}));
  EXPECT_EQ(SplitGroupText("a>>>b>>>>c>>", 0), (V{"a", ">b", "", "c", ""}));
  // "<ID=" inside an event's text is no prefix.
  EXPECT_EQ(SplitGroupText("x <ID=1>>y", 0), (V{"x <ID=1", "y"}));
}

TEST_F(AlarmLogTest, OneMessagePerEventUpToMaxMessagesEachWithThePrefixAndLogged) {
  Splitting(true, 2);
  Entry(1, "ann", "PhoneMO", "e1>>e2>>e3");
  Entry(3, "bob", "PhoneMO", "<ID=907> d1>>d2>>d3");
  Entry(4, "cid", "PhoneMO", "single event");
  ProcessSendList(ctx, RecordingTransport);
  const V sent = {"e1", "e2", "<ID=907> d1", "<ID=907> d2", "single event"};
  EXPECT_EQ(delivered, sent);
  EXPECT_EQ(Alarm("Message"), sent);
  EXPECT_EQ(Alarm("Receiver"), (V{"ann", "ann", "bob", "bob", "cid"}));
  EXPECT_EQ(Alarm("SendStatus"), (V{"sent #1", "sent #2", "sent #3", "sent #4", "sent #5"}));

  delivered.clear();
  Splitting(true, 0);
  Entry(1, "ann", "PhoneMO", "e1>>e2>>e3");
  ProcessSendList(ctx, RecordingTransport);
  // Bob's entry now holds its last piece only, so it goes once.
  EXPECT_EQ(delivered, (V{"e1", "e2", "e3", "<ID=907> d2", "single event"}));
}

TEST_F(AlarmLogTest, WholeTextsWithoutOneMessOneEventAndTypesWithoutATransport) {
  Splitting(false, 1);
  Entry(2, "ann", "PhoneMO", "e1>>e2>>e3");
  ProcessSendList(ctx, RecordingTransport);
  EXPECT_EQ(delivered, (V{"e1>>e2>>e3"}));
  Entry(2, "fax", "Fax", "m1");
  Entry(3, "pager", "PagerNum", "m3");
  ProcessSendList(ctx);
  EXPECT_EQ(Alarm("SendType"), (V{"PhoneMO", "Fax", "PagerNum"}));
  EXPECT_EQ(Alarm("SendStatusInt"), (V{"1", "0", "0"}));
  EXPECT_EQ(ctx.ErrorCount, 0);
}

TEST_F(AlarmLogTest, RowOfASendListEntryCutAndWithLineBreaksAsGroupBreaks) {
  clock.Set("2018-06-26 14:05:09");
  ctx.LastHour = 14;
  SetColumn("Settings_General", "LogIndexAlarm", "4");
  SendEntry& e = ctx.delivery.SendList[7];
  e = {std::string(120, 'r'),
       "MailSMTP",
       "",
       "",
       std::string(240, 'm') + "\r\nline two is long enough to be cut",
       false,
       false,
       "",
       0,
       3,
       std::string(130, 's')};
  UpdateAlarmLog(ctx, 7, kSendList);
  const std::pair<const char*, std::string> columns[] = {
      {"Index", "806260004"},
      {"DateAndTime", "2018-06-26 14:05:09"},
      {"Receiver", std::string(100, 'r')},
      {"Message", std::string(240, 'm') + ">>line two"},  // cut, then ">>"
      {"SendStatus", std::string(100, 's')},
      {"SendStatusInt", "3"}};
  for (const auto& [column, value] : columns) EXPECT_EQ(Alarm(column), V{value}) << column;
  EXPECT_EQ(GetColumn("Settings_General", "LogIndexAlarm"), "5");
  EXPECT_TRUE(ctx.LogChanged);
}

TEST_F(AlarmLogTest, DayStampCounterLimitAndTheOtherLists) {
  clock.Set("2026-07-01 00:00:05");
  ctx.LastHour = 23;  // the first cycle of a new day still counts to the day before
  UpdateAlarmLog(ctx, 1, kSendList);
  ctx.LastHour = 0;
  // An index outside its list is an error of the call; the counter still advances.
  UpdateAlarmLog(ctx, 51, kBufferList);
  EXPECT_EQ(Entries(evt::kRuntimeError),
            (V{"[9] Subscript out of range (Module: UpdateAlarmLog)"}));
  EXPECT_EQ(GetColumn("Settings_General", "LogIndexAlarm"), "2");
  SetColumn("Settings_General", "LogIndexAlarm", "2998");
  ctx.delivery.BufferList[50].BufferRecvName = "night";
  ctx.delivery.TestMessage = {"tester", "PagerNum", "test", "3", "failed"};
  UpdateAlarmLog(ctx, 1, "JourList");  // an unknown list: an empty row
  UpdateAlarmLog(ctx, 50, kBufferList);
  UpdateAlarmLog(ctx, 0, kTestMessage);
  UpdateAlarmLog(ctx, 1, kSendList);  // beyond 3000: counted, not written
  EXPECT_EQ(Alarm("Index"), (V{"606300000", "607012998", "607012999", "607013000"}));
  EXPECT_EQ(Alarm("Receiver"), (V{"", "", "night", "tester"}));
  EXPECT_EQ(Alarm("SendStatusInt"), (V{"0", "0", "0", "3"}));
  EXPECT_EQ(GetColumn("Settings_General", "LogIndexAlarm"), "3002");
}

}  // namespace
}  // namespace varnel
