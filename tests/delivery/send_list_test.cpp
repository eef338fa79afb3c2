#include "delivery/send_list.h"

#include <gtest/gtest.h>
#include <map>

#include "platform/files.h"
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
    Database db = Db();
    Table t = db.Open(table);
    t.AddNew();
    for (const auto& [k, v] : cols) t.Set(k, v);
    t.Update();
  }
  // Matched group g with receivers {name, type}; the other slots are "None".
  void SetGroup(int g, const std::string& mess,
                const std::vector<std::pair<std::string, std::string>>& receivers,
                SuppGroupTable* table = nullptr) {
    SuppGroupEntry& e = (table ? *table : ctx.filter.SuppGrp)[g];
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
  ASSERT_EQ(filled.size(), 99u);
  EXPECT_EQ(filled.front(), 2);
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
  AddReceiver("Recv_Pager_Num", "num",
              {{"PagerNumber", "555"},
               {"MoCalling", "1"},
               {"SendCode", "12,34"},
               {"DelayTime", "7"},
               {"BufferMessages", "1"}});
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

}  // namespace
}  // namespace varnel
