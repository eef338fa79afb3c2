#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <map>

#include "delivery/alarm_log.h"
#include "delivery/process_send_list.h"
#include "delivery/read_sms.h"
#include "delivery/send_list.h"
#include "platform/error.h"
#include "platform/files.h"
#include "service/errors.h"
#include "support/test_support.h"
#include "transports/gsm_charset.h"
#include "transports/modem_fixture.h"
#include "transports/sms_decode.h"

namespace varnel {
namespace {

using V = std::vector<std::string>;

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
  // The first row of a name wins.
  EXPECT_EQ(std::tuple(Sent(9).RecvAddr, Sent(12).RecvMess), std::tuple("first", "other"));
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
  EXPECT_EQ(BufferedEntries(), (std::vector<int>{1}));
  EXPECT_EQ(std::tuple(Sent(100).RecvMess, ctx.delivery.BufferList[1].BufferRecvMess),
            std::tuple("text 20", "text 21"));
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
  V Alarm(const std::string& column) { return Column("LogFiles_Alarm", column); }
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
  Entry(3, "beeper", "Beeper", "m3");
  ProcessSendList(ctx);
  EXPECT_EQ(Alarm("SendType"), (V{"PhoneMO", "Fax", "Beeper"}));
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
       std::string(130, 's')};  // clang-format on
  UpdateAlarmLog(ctx, 7, kSendList);
  // The message is cut, then its line break becomes ">>".
  // clang-format off
  const std::pair<const char*, std::string> columns[] = {{"Index", "806260004"},
      {"DateAndTime", "2018-06-26 14:05:09"}, {"Receiver", std::string(100, 'r')},
      {"Message", std::string(240, 'm') + ">>line two"}, {"SendStatus", std::string(100, 's')},
      {"SendStatusInt", "3"}};  // clang-format on
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

using namespace std::string_literals;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::ModemTest;

// SMS-DELIVER PDUs made by python-gammu (an independent codec), service centre field first.
const std::string kAck = "059164070000000B916407214365F700004210203040500007C1E1129483C500";
const std::string kSeven = "059164070000000791640721F30000421020304050000761F1985C369F01";
const std::string kSevenAt = "059164070000000791640721F30000421020304050000861F1985C369F01";
const std::string kAlphaSender = "0181000AD0417658DE0600004210203040500005E8329BFD06";
const std::string kConcatenated =
    "0181400791640721F30000421020304050000F050003AB0201E061391DF4769701";

// A DELIVER PDU from sender with a 7-bit text, with an empty service centre field.
std::string Deliver(const std::string& sender, const std::string& text) {
  std::string submit = CodeMessageToEtsiPduMode(GSM338Default7Bit(text), sender);
  std::size_t da = 4 + 4 + (sender.size() + 1) / 2 * 2;  // first octet, MR, DA
  return "0004" + submit.substr(4, da - 4) + "000042102030405000" + submit.substr(da + 4);
}

// The dialogue, the storage word, clearing at start, a missing, silent or vanishing terminal
// and the decoding of many messages run against the pty terminal end to end.
class ReadSmsTest : public ModemTest {
 protected:
  ReadSmsTest() { ctx.gsm.SmsProtocol = "ETSI 07.05-PDU SCA"; }
};

TEST_F(ReadSmsTest, ProtocolDecidesWhetherAServiceCentreFieldIsStripped) {
  term->store[1] = Deliver("4670123", "plain").substr(2);  // listed without the field
  ctx.gsm.SmsProtocol = "ETSI 07.05-PDU";
  ReadSms(ctx, false);
  EXPECT_THAT(Lines("SmsCmd.log"), ElementsAre("4670123\tplain"));
  term->store[1] = kAck;
  ctx.gsm.SmsProtocol = "Other";  // deleted, not decoded
  ReadSms(ctx, false);
  EXPECT_EQ(Lines("SmsCmd.log").size(), 1u);
  EXPECT_TRUE(term->store.empty());
}

TEST_F(ReadSmsTest, FailedDeleteStillDeliversWhatWasAlreadyDeleted) {
  term->store = {{1, kAck}, {2, kSeven}, {3, kSeven}};
  term->replyTo["AT+CMGD=2"] = "\r\nERROR\r\n";
  ReadSms(ctx, false);
  EXPECT_THAT(Lines("SmsCmd.log"), ElementsAre("46701234567\tACK 901"));
  EXPECT_THAT(Entries(evt::kRuntimeError),
              ElementsAre("MT-SMS: Error when sending AT+CMGD=2<CR> to MS. (Module: ReadSms)"));
  EXPECT_EQ(term->store.size(), 2u);  // 2 failed, 3 was not tried: both wait for next time
  EXPECT_FALSE(term->IsOpen() || term->Dtr());
}

TEST_F(ReadSmsTest, AtMostFiftyMessagesACallTheRestStayOnTheTerminal) {
  for (int i = 1; i <= 60; ++i) term->store[i] = Deliver("46700", "m" + std::to_string(i));
  ReadSms(ctx, false);
  auto lines = Lines("SmsCmd.log");
  ASSERT_EQ(lines.size(), 50u);
  EXPECT_EQ(std::tuple(lines.back(), term->store.size(), term->store.begin()->first),
            std::tuple("46700\tm50", 10u, 51));
}

// Messages deleted from the terminal whose lines cannot be written wait for the next read.
TEST_F(ReadSmsTest, LinesThatCannotBeWrittenWaitForTheNextRead) {
  term->store = {{1, kAck}, {2, kSeven}};
  ASSERT_EQ(::mkdir(File("SmsCmd.log").c_str(), 0755), 0);  // stands for a full disk
  ReadSms(ctx, false);
  EXPECT_THAT(Entries(evt::kRuntimeError), ElementsAre(HasSubstr("(Module: DecodePduIncom)")));
  EXPECT_TRUE(term->store.empty());
  ASSERT_EQ(::rmdir(File("SmsCmd.log").c_str()), 0);
  term->store = {{1, kSevenAt}};
  ReadSms(ctx, false);
  EXPECT_THAT(Lines("SmsCmd.log"),
              ElementsAre("46701234567\tACK 901", "4670123\tabcdefg", "4670123\tabcdefg@"));
  EXPECT_EQ(Entries(evt::kRuntimeError).size(), 1u);
}

TEST_F(ReadSmsTest, MalformedPduIsReportedAndTheOthersAreDelivered) {
  term->store = {{1, kAck},
                 {2, "07916407000000F00407ZZ"},
                 {3, kSeven.substr(0, kSeven.size() - 4)},  // user data cut short
                 {4, kSeven}};
  ReadSms(ctx, false);
  EXPECT_THAT(Lines("SmsCmd.log"), ElementsAre("46701234567\tACK 901", "4670123\tabcdefg"));
  EXPECT_THAT(Entries(evt::kRuntimeError), ElementsAre(HasSubstr("(Module: DecodePduIncom)"),
                                                       HasSubstr("(Module: DecodePduIncom)")));
  EXPECT_TRUE(term->store.empty());
}

ReceivedSms Decode(const std::string& withSmsc) {
  return DecodeSmsDeliver(StripSmscField(withSmsc));
}

// Default and UCS-2 texts from an independent encoder are decoded end to end; these are the
// edges that check does not reach.
TEST(DecodeSmsDeliver, SevenSeptetsHeadersEightBitDataAlphaSendersAndControls) {
  // Exactly seven characters do not gain a commercial at; a real eighth "@" stays.
  EXPECT_EQ(Decode(kSeven).text, "abcdefg");
  EXPECT_EQ(Decode(kSevenAt).text, "abcdefg@");
  // A user data header (a part of a long message) is skipped with its fill bits.
  EXPECT_EQ(Decode(kConcatenated).text, "part one");
  // 8-bit data: each octet is one character.
  EXPECT_EQ(DecodeSmsDeliver("040791640721F30004421020304050000248E4").text, "Hä");
  EXPECT_EQ(Decode(kAlphaSender).number, "Alarm");
  // CR, LF and TAB would break the drop-file line: they arrive as blanks.
  EXPECT_EQ(DecodeSmsDeliver("040791640721F300044210203040500004610D0A09").text, "a   ");
  EXPECT_EQ(IA5defIncom("a\x1B"), "a\x1B");  // a lone escape passes unchanged
}

TEST(DecodeSmsDeliver, MalformedPdusRaise) {
  const std::string good = StripSmscField(kSeven);
  EXPECT_NO_THROW(DecodeSmsDeliver(good));
  // Odd length, bad hex, UDL beyond the data, address beyond, nothing, 8-bit UDL beyond, and
  // a header beyond the data.
  for (const std::string& bad :
       {good.substr(1), "0G" + good.substr(2), good.substr(0, good.size() - 2),
        std::string("04FF91"), std::string(""), "040791640721F3000442102030405000054869"s,
        "440791640721F3000042102030405000020900"s})
    EXPECT_THROW(DecodeSmsDeliver(bad), VarnelError) << bad;
  EXPECT_EQ(StripSmscField("Z1234"), "");
}

// Listings that a terminal ends properly are read in the SMS reader's tests.
TEST(ParseCmglListing, GarbageAndCutOffListingsYieldOnlyWhatWasFullyRead) {
  // An index that is no number is skipped; the other entries stay.
  auto list = ParseCmglListing("+CMGL: x1,0,,2\r\nAA\r\n+CMGL: 4,0,,2\r\nBB\r\nOK\r\n", 50);
  EXPECT_EQ(std::tuple(list.size(), list.at(0).index, list.at(0).pdu), std::tuple(1u, "4", "BB"));
  // A PDU line that the reply does not end is not taken.
  EXPECT_TRUE(ParseCmglListing("+CMGL: 1,0,,2\r\nAABB", 50).empty());
  // A header without a PDU line before the next header.
  list = ParseCmglListing("+CMGL: 1,0,,2\r\n+CMGL: 2,0,,2\r\nCC\r\n", 50);
  EXPECT_EQ(std::tuple(list.size(), list.at(0).index, list.at(0).pdu), std::tuple(1u, "2", "CC"));
}

}  // namespace
}  // namespace varnel
