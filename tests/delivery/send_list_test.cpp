#include "delivery/send_list.h"

#include <gtest/gtest.h>

#include "delivery_fixture.h"
#include "service/errors.h"

namespace varnel {
namespace {

using testing::kNotAtTen;

class SendListTest : public testing::DeliveryTest {};

TEST_F(SendListTest, EachTypeTakesItsColumns) {
  AddReceiver("Recv_Phone_MO", "mo", {{"PhoneNumber", "4670111"}, {"Operator", "Telia"},
                                      {"BufferMessages", "1"}});
  AddReceiver("Recv_Phone_Dialup", "da", {{"PhoneNumber", "0201"}, {"Operator", "TapOp"}});
  AddReceiver("Recv_Pager_Alfa", "alfa", {{"PagerNumber", "777"}, {"Operator", "Ucp"}});
  AddReceiver("Recv_Pager_Num", "num", {{"PagerNumber", "555"}, {"MoCalling", "1"},
                                        {"SendCode", "12,34"}, {"DelayTime", "7"},
                                        {"BufferMessages", "1"}});
  AddReceiver("Recv_Mail_SMTP", "mail", {{"MailAddress", "ops@example.org"},
                                         {"MailServer1", "Relay1"}, {"MailServer2", "Relay2"},
                                         {"UseMailServer2", "1"}});
  AddReceiver("Recv_Mail_SMTP", "mail1", {{"MailAddress", "m1@example.org"},
                                          {"MailServer1", "Relay1"}, {"MailServer2", "Relay2"}});
  AddReceiver("Recv_Popup_NETSEND", "pop", {{"WinAddress", "operator"}});
  SetGroup(1, "link down", {{"mo", "PhoneMO"}, {"da", "PhoneDA"}, {"alfa", "PagerAlfa"},
                            {"num", "PagerNum"}, {"mail", "MailSMTP"}});
  SetGroup(2, "disk full", {{"mail1", "MailSMTP"}, {"pop", "PopupNetSend"}});
  MakeSendList(ctx);

  ASSERT_EQ(FilledEntries(), (std::vector<int>{1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(Sent(1).RecvAddr, "4670111");
  EXPECT_EQ(Sent(1).RecvOper, "Telia");
  EXPECT_TRUE(Sent(1).RecvBuffMess);
  EXPECT_EQ(Sent(1).RecvMess, "link down");
  EXPECT_EQ(Sent(2).RecvType, "PhoneDA");
  EXPECT_EQ(Sent(2).RecvOper, "TapOp");
  EXPECT_EQ(Sent(3).RecvAddr, "777");
  EXPECT_EQ(Sent(3).RecvOper, "Ucp");
  EXPECT_EQ(Sent(4).RecvAddr, "555");
  EXPECT_EQ(Sent(4).RecvOper, "");
  EXPECT_TRUE(Sent(4).RecvPagerNumMoCall);
  EXPECT_EQ(Sent(4).RecvPagerNumCode, "12,34");
  EXPECT_EQ(Sent(4).RecvPagerNumDelay, 7);
  EXPECT_EQ(Sent(5).RecvAddr, "ops@example.org");
  EXPECT_EQ(Sent(5).RecvOper, "Relay1;Relay2");
  EXPECT_FALSE(Sent(5).RecvBuffMess);
  EXPECT_EQ(Sent(6).RecvOper, "Relay1");  // the second server only when UseMailServer2
  EXPECT_EQ(Sent(6).RecvMess, "disk full");
  EXPECT_EQ(Sent(7).RecvAddr, "operator");
  EXPECT_EQ(Sent(7).RecvSendStatusInt, 0);
  EXPECT_EQ(ctx.ErrorCount, 0);
}

TEST_F(SendListTest, InvalidReceiversLeaveTheirEntryFree) {
  AddReceiver("Recv_Phone_MO", "a");
  AddReceiver("Recv_Phone_MO", "off", {{"Enabled", "0"}});
  AddReceiver("Recv_Phone_MO", "c");
  AddReceiver("Recv_Phone_MO", "d");
  AddReceiver("Recv_Phone_MO", "e");
  AddReceiver("Recv_Phone_MO", "dup", {{"PhoneNumber", "first"}});
  AddReceiver("Recv_Phone_MO", "dup", {{"PhoneNumber", "second"}});
  SetGroup(1, "m", {{"a", "PhoneMO"}, {"off", "PhoneMO"}, {"c", "PhoneMO"}, {"d", "PhoneMO"},
                    {"e", "PhoneMO"}});
  // Unknown type, unknown name, a name in another type's table, then a repeated name.
  SetGroup(3, "m", {{"a", "Fax"}, {"ghost", "PhoneMO"}, {"a", "MailSMTP"}, {"dup", "PhoneMO"}});
  MakeSendList(ctx);

  EXPECT_EQ(FilledEntries(), (std::vector<int>{1, 3, 4, 5, 9}));
  EXPECT_EQ(Sent(9).RecvAddr, "first");  // the first row of a name wins
  EXPECT_EQ(ctx.ErrorCount, 0);          // none of this is an error
}

TEST_F(SendListTest, SlotsBeyondTheHundredthAreDropped) {
  for (int r = 0; r < 5; ++r) AddReceiver("Recv_Phone_MO", "r" + std::to_string(r));
  AddReceiver("Recv_Phone_MO", "late", {{"DutyTimeFri", kNotAtTen}, {"BufferMessages", "1"}});
  // 21 groups of five: the first slot is invalid, and still counts.
  SetGroup(1, "text 1", {{"nobody", "PhoneMO"}, {"r1", "PhoneMO"}, {"r2", "PhoneMO"},
                         {"r3", "PhoneMO"}, {"r4", "PhoneMO"}});
  for (int g = 2; g <= 20; ++g)
    SetGroup(g, "text " + std::to_string(g), {{"r0", "PhoneMO"}, {"r1", "PhoneMO"},
                                              {"r2", "PhoneMO"}, {"r3", "PhoneMO"},
                                              {"r4", "PhoneMO"}});
  SetGroup(21, "text 21", {{"r0", "PhoneMO"}, {"late", "PhoneMO"}});
  MakeSendList(ctx);

  std::vector<int> filled = FilledEntries();
  ASSERT_EQ(filled.size(), 99u);
  EXPECT_EQ(filled.front(), 2);
  EXPECT_EQ(filled.back(), 100);
  EXPECT_EQ(Sent(100).RecvMess, "text 20");
  // Past the hundredth slot the receivers are still looked up, so an off-duty one is buffered.
  EXPECT_EQ(BufferedEntries(), (std::vector<int>{1}));
  EXPECT_EQ(ctx.delivery.BufferList[1].BufferRecvMess, "text 21");
}

TEST_F(SendListTest, ARepeatedReceiverAndTextIsSentOnce) {
  AddReceiver("Recv_Phone_MO", "ann");
  AddReceiver("Recv_Mail_SMTP", "ann");
  SetGroup(1, "same", {{"ann", "PhoneMO"}, {"ann", "MailSMTP"}});
  SetGroup(2, "same", {{"ann", "PhoneMO"}});
  SetGroup(3, "other", {{"ann", "PhoneMO"}});
  MakeSendList(ctx);
  EXPECT_EQ(FilledEntries(), (std::vector<int>{1, 2, 4}));
  EXPECT_EQ(Sent(4).RecvMess, "other");
}

TEST_F(SendListTest, OffDutyReceiversAreBuffered) {
  ctx.BufferAllMessOffDuty = false;
  AddReceiver("Recv_Phone_MO", "night", {{"DutyTimeFri", kNotAtTen}, {"BufferMessages", "1"},
                                         {"PhoneNumber", "4670"}, {"Operator", "Op"},
                                         {"DutyTimeMon", "7"}});
  AddReceiver("Recv_Pager_Num", "pager", {{"DutyTimeFri", kNotAtTen}, {"BufferMessages", "1"},
                                          {"PagerNumber", "555"}, {"MoCalling", "1"},
                                          {"SendCode", "9"}, {"DelayTime", "4"}});
  AddReceiver("Recv_Phone_Dialup", "nobuffer", {{"DutyTimeFri", kNotAtTen}});
  AddReceiver("Recv_Mail_SMTP", "mail", {{"DutyTimeFri", kNotAtTen}});
  AddReceiver("Recv_Popup_NETSEND", "pop", {{"DutyTimeFri", kNotAtTen}});
  SetGroup(1, "first", {{"night", "PhoneMO"}, {"pager", "PagerNum"}, {"nobuffer", "PhoneDA"},
                        {"mail", "MailSMTP"}, {"pop", "PopupNetSend"}});
  MakeSendList(ctx);

  EXPECT_TRUE(FilledEntries().empty());
  ASSERT_EQ(BufferedEntries(), (std::vector<int>{1, 2}));  // never mail or pop-ups
  const BufferEntry& b = ctx.delivery.BufferList[1];
  EXPECT_EQ(b.BufferRecvName, "night");
  EXPECT_EQ(b.BufferRecvType, "PhoneMO");
  EXPECT_EQ(b.BufferRecvAddr, "4670");
  EXPECT_EQ(b.BufferRecvOper, "Op");
  EXPECT_EQ(b.BufferRecvMess, "first");
  EXPECT_EQ(b.BufferRecvDutyTime[1], 7);  // Monday
  EXPECT_EQ(b.BufferRecvDutyTime[5], 16776191);
  EXPECT_EQ(b.BufferRecvDateAdded, "2026-06-26 10:15:00");
  const BufferEntry& p = ctx.delivery.BufferList[2];
  EXPECT_TRUE(p.BufferRecvPagerNumMoCall);
  EXPECT_EQ(p.BufferRecvPagerNumCode, "9");
  EXPECT_EQ(p.BufferRecvPagerNumDelay, 4);

  // One waiting message per receiver, unless every message is to be buffered.
  SetGroup(1, "second", {{"night", "PhoneMO"}});
  MakeSendList(ctx);
  EXPECT_EQ(BufferedEntries().size(), 2u);
  ctx.BufferAllMessOffDuty = true;
  for (int n = 0; n < 60; ++n) {
    SetGroup(1, "again " + std::to_string(n), {{"night", "PhoneMO"}});
    MakeSendList(ctx);
  }
  EXPECT_EQ(BufferedEntries().size(), 50u);
  EXPECT_EQ(ctx.delivery.BufferList[50].BufferRecvMess, "again 47");
}

TEST_F(SendListTest, TracesOfTheSendListAndTheBufferList) {
  ctx.DebugMode = "Filter Process";
  AddReceiver("Recv_Pager_Num", "num", {{"PagerNumber", "555"}, {"SendCode", "1"},
                                        {"DelayTime", "3"}});
  AddReceiver("Recv_Phone_MO", "night", {{"DutyTimeFri", kNotAtTen}, {"BufferMessages", "1"}});
  SetGroup(1, "a>>b", {{"num", "PagerNum"}, {"night", "PhoneMO"}});
  MakeSendList(ctx);
  SetGroup(ctx.filter.HqSuppGrp, 4, "held", {{"num", "PagerNum"}});
  MakeSendList_Hq(ctx);

  const std::vector<std::string> trace = Lines("Debug/Filter_Process.txt");
  const std::vector<std::string> first = {"2026-06-26 10:15:00 ***** Send List *****",
                                          "",
                                          "RecvName(1)=num",
                                          "RecvType(1)=PagerNum",
                                          "RecvAddr(1)=555",
                                          "RecvOper(1)=",
                                          "RecvMess(1)=a>>b",
                                          "RecvBuffMess(1)=False",
                                          "RecvPagerNumMoCall(1)=False",
                                          "RecvPagerNumCode(1)=1",
                                          "RecvPagerNumDelay(1)=3",
                                          "",
                                          ""};
  ASSERT_EQ(trace.size(), 2 * first.size());
  EXPECT_EQ(std::vector<std::string>(trace.begin(), trace.begin() + 13), first);
  EXPECT_EQ(trace[13], "2026-06-26 10:15:00 ***** Send List - Hold Queue *****");
  EXPECT_EQ(trace[19], "RecvMess(1)=held");
  std::vector<std::string> buffered = Lines("Debug/BuffMess_List.txt");
  ASSERT_EQ(buffered.size(), 19u);
  EXPECT_EQ(buffered[0], "2026-06-26 10:15:00 ***** Buffer Messages List (Off Duty) *****");
  EXPECT_EQ(buffered[2], "BufferRecvName(1)=night");
  EXPECT_EQ(buffered[7], "BufferRecvPagerNumMoCall(1)=False");
  EXPECT_EQ(buffered[10], "BufferRecvDutyTimeMon(1)=16777215");
  EXPECT_EQ(buffered[14], "BufferRecvDutyTimeFri(1)=16776191");
  EXPECT_EQ(buffered[17], "BufferRecvDateAdded(1)=2026-06-26 10:15:00");

  // Rewritten, not appended: a dropped repeat leaves the same single entry.
  clock.Set("2026-06-26 10:16:00");
  MakeSendList(ctx);
  buffered = Lines("Debug/BuffMess_List.txt");
  EXPECT_EQ(buffered.size(), 19u);
  EXPECT_EQ(buffered[0], "2026-06-26 10:16:00 ***** Buffer Messages List (Off Duty) *****");
}

TEST_F(SendListTest, ABrokenReceiverTableSkipsOnlyItsReceivers) {
  AddReceiver("Recv_Pager_Num", "num");
  AddReceiver("Recv_Phone_MO", "mo");
  {
    Database db = Db();
    db.Exec("ALTER TABLE Recv_Pager_Num DROP COLUMN DelayTime");
  }
  SetGroup(1, "m", {{"num", "PagerNum"}, {"mo", "PhoneMO"}});
  MakeSendList(ctx);
  EXPECT_EQ(FilledEntries(), (std::vector<int>{2}));
  ASSERT_EQ(Entries(evt::kRuntimeError).size(), 1u);
  EXPECT_EQ(Entries(evt::kRuntimeError)[0].substr(0, 6), "[3265]");
  EXPECT_NE(Entries(evt::kRuntimeError)[0].find("(Module: GetSendParameters)"), std::string::npos);
}

TEST_F(SendListTest, GetSendParametersOnItsOwnConnection) {
  AddReceiver("Recv_Mail_SMTP", "m", {{"MailAddress", "a@b"}, {"MailServer1", "R1"}});
  AddReceiver("Recv_Phone_MO", "off", {{"DutyTimeFri", kNotAtTen}, {"BufferMessages", "1"}});
  ReceiverParameters p = GetSendParameters(ctx, "msg", "m", "MailSMTP");
  EXPECT_TRUE(p.Valid);
  EXPECT_EQ(p.Addr, "a@b");
  EXPECT_EQ(p.Oper, "R1");
  p = GetSendParameters(ctx, "buffered text", "off", "PhoneMO");
  EXPECT_FALSE(p.Valid);
  EXPECT_EQ(ctx.delivery.BufferList[1].BufferRecvMess, "buffered text");
}

}  // namespace
}  // namespace varnel
