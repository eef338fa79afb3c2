#include "delivery/send_list.h"

#include <gtest/gtest.h>
#include <map>

#include "delivery/alarm_log.h"
#include "delivery/process_send_list.h"
#include "platform/files.h"
#include "service/errors.h"
#include "support/test_support.h"

namespace varnel {
namespace {

constexpr const char* kNotAtTen = "16776191";  // every hour but the test clock's 10 o'clock

class SendListTest : public testing::VarnelTest {
 protected:
  // A receiver row, enabled and on duty all week unless cols say otherwise.
  void AddReceiver(const std::string& table, const std::string& name,
                   std::map<std::string, std::string> cols = {}) {
    cols.insert({{"Name", name}, {"Enabled", "1"}});
    for (const char* day : {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"})
      cols.insert({std::string("DutyTime") + day, "16777215"});
    AddRow(table, cols);
  }
  // Matched group g with receivers {name, type}; the other slots are "None".
  void SetGroup(int g, const std::string& mess,
                const std::vector<std::pair<std::string, std::string>>& receivers) {
    SuppGroupEntry& e = ctx.filter.SuppGrp[g];
    e.Name = "group" + std::to_string(g);
    e.Mess = mess;
    for (std::size_t r = 0; r < kMaxGroupReceivers; ++r) {
      e.RecvName[r] = r < receivers.size() ? receivers[r].first : "None";
      e.RecvType[r] = r < receivers.size() ? receivers[r].second : "PhoneMO";
    }
  }
  const SendEntry& Sent(int i) const { return ctx.delivery.SendList[i]; }
  template <class List>
  static std::vector<int> Used(const List& list) {
    std::vector<int> out;
    for (std::size_t i = 1; i <= list.size(); ++i)
      if (!list[i].Free()) out.push_back(static_cast<int>(i));
    return out;
  }
  std::vector<int> FilledEntries() const { return Used(ctx.delivery.SendList); }
  std::vector<int> BufferedEntries() const { return Used(ctx.delivery.BufferList); }
};

TEST_F(SendListTest, InvalidAndRepeatedReceiversLeaveTheirEntryFree) {
  for (const char* name : {"a", "c", "d", "e"}) AddReceiver("Recv_Phone_MO", name);
  AddReceiver("Recv_Phone_MO", "off", {{"Enabled", "0"}});
  AddReceiver("Recv_Phone_MO", "dup", {{"PhoneNumber", "first"}});
  AddReceiver("Recv_Phone_MO", "dup", {{"PhoneNumber", "second"}});
  SetGroup(
      1, "m",
      {{"a", "PhoneMO"}, {"off", "PhoneMO"}, {"c", "PhoneMO"}, {"d", "PhoneMO"}, {"e", "PhoneMO"}});
  // Unknown type, unknown name, a name in another type's table, then a repeated name.
  SetGroup(3, "m", {{"a", "Fax"}, {"ghost", "PhoneMO"}, {"a", "MailSMTP"}, {"dup", "PhoneMO"}});
  // The same receiver and text again is dropped; another text is not.
  SetGroup(4, "m", {{"c", "PhoneMO"}, {"c", "PhoneMO"}});
  SetGroup(5, "other", {{"c", "PhoneMO"}});
  MakeSendList(ctx);

  EXPECT_EQ(FilledEntries(), (std::vector<int>{1, 3, 4, 5, 9, 12}));
  EXPECT_EQ(Sent(9).RecvAddr, "first");  // the first row of a name wins
  EXPECT_EQ(Sent(12).RecvMess, "other");
  EXPECT_EQ(ctx.ErrorCount, 0);  // none of this is an error
}

TEST_F(SendListTest, SlotsBeyondTheHundredthAreDroppedButStillBuffered) {
  for (int r = 0; r < 5; ++r) AddReceiver("Recv_Phone_MO", "r" + std::to_string(r));
  AddReceiver("Recv_Phone_MO", "late", {{"DutyTimeFri", kNotAtTen}, {"BufferMessages", "1"}});
  // 21 groups of five: the first slot is invalid, and still counts.
  std::vector<std::pair<std::string, std::string>> five;
  for (int r = 0; r < 5; ++r) five.push_back({"r" + std::to_string(r), "PhoneMO"});
  for (int g = 1; g <= 20; ++g) SetGroup(g, "text " + std::to_string(g), five);
  ctx.filter.SuppGrp[1].RecvName[0] = "nobody";
  SetGroup(21, "text 21", {five[0], {"late", "PhoneMO"}});
  MakeSendList(ctx);

  std::vector<int> filled = FilledEntries();
  EXPECT_EQ(std::pair(filled.size(), filled.front()), std::pair(99ul, 2));
  EXPECT_EQ(Sent(100).RecvMess, "text 20");
  EXPECT_EQ(BufferedEntries(), (std::vector<int>{1}));
  EXPECT_EQ(ctx.delivery.BufferList[1].BufferRecvMess, "text 21");
}

TEST_F(SendListTest, OffDutyReceiversAreBufferedOnceOrAlwaysUpToFifty) {
  ctx.BufferAllMessOffDuty = false;
  AddReceiver("Recv_Phone_MO", "night", {{"DutyTimeFri", kNotAtTen}, {"BufferMessages", "1"}});
  AddReceiver("Recv_Phone_Dialup", "nobuffer", {{"DutyTimeFri", kNotAtTen}});
  for (const char* text : {"first", "second"}) {  // one waiting message per receiver
    SetGroup(1, text, {{"night", "PhoneMO"}, {"nobuffer", "PhoneDA"}});
    MakeSendList(ctx);
  }
  EXPECT_TRUE(FilledEntries().empty());
  ASSERT_EQ(BufferedEntries(), (std::vector<int>{1}));
  EXPECT_EQ(ctx.delivery.BufferList[1].BufferRecvMess, "first");
  ctx.BufferAllMessOffDuty = true;  // unless every message is to be buffered
  for (int n = 0; n < 60; ++n) {
    SetGroup(1, "again " + std::to_string(n), {{"night", "PhoneMO"}});
    MakeSendList(ctx);
  }
  EXPECT_EQ(BufferedEntries().size(), 50u);
  EXPECT_EQ(ctx.delivery.BufferList[50].BufferRecvMess, "again 48");
}

// The trace shows the columns a receiver type brings; the buffer list trace is rewritten.
TEST_F(SendListTest, TracesOfTheSendListWithThePagerColumnsAndOfTheBufferList) {
  ctx.DebugMode = "Filter Process";
  AddReceiver("Recv_Pager_Num", "num", {{"PagerNumber", "555"}, {"MoCalling", "1"}});
  Update("Recv_Pager_Num", "SendCode = '12,34', DelayTime = 7, BufferMessages = 1");
  AddReceiver("Recv_Phone_MO", "night", {{"DutyTimeFri", kNotAtTen}, {"BufferMessages", "1"}});
  SetGroup(1, "a>>b", {{"num", "PagerNum"}, {"night", "PhoneMO"}});
  MakeSendList(ctx);
  clock.Set("2026-06-26 10:16:00");
  MakeSendList(ctx);  // a dropped repeat: the buffer list trace still holds one entry
  std::vector<std::string> trace = ReadLines(File("Debug/Filter_Process.txt"));
  ASSERT_GT(trace.size(), 12u);
  EXPECT_EQ(std::vector<std::string>(trace.begin(), trace.begin() + 12),
            (std::vector<std::string>{"2026-06-26 10:15:00 ***** Send List *****", "",
                                      "RecvName(1)=num", "RecvType(1)=PagerNum", "RecvAddr(1)=555",
                                      "RecvOper(1)=", "RecvMess(1)=a>>b", "RecvBuffMess(1)=True",
                                      "RecvPagerNumMoCall(1)=True", "RecvPagerNumCode(1)=12,34",
                                      "RecvPagerNumDelay(1)=7", ""}));
  std::vector<std::string> buffer = ReadLines(File("Debug/BuffMess_List.txt"));
  ASSERT_EQ(buffer.size(), 19u);
  EXPECT_EQ(buffer[0], "2026-06-26 10:16:00 ***** Buffer Messages List (Off Duty) *****");
}

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
    SendEntry& e = ctx.delivery.SendList[i] = SendEntry{};
    std::tie(e.RecvName, e.RecvType, e.RecvMess) = std::tie(name, type, mess);
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
  // clang-format off
  e = {std::string(120, 'r'), "MailSMTP", "", "",
       std::string(240, 'm') + "\r\nline two is long enough to be cut", false, false, "", 0, 3,
       std::string(130, 's')};
  // clang-format on
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
