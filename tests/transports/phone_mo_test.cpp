#include "transports/phone_mo.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>

#include "transports/modem_fixture.h"

namespace varnel {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using testing::ModemTest;

const std::string kHelloPdu = "010005916407F000000AE8329BFD4697D9EC37";

class PhoneMO : public ModemTest {
 protected:
  void AddOperator(const std::map<std::string, std::string>& overrides = {}) {
    std::map<std::string, std::string> cols = {
        {"Name", "Alpha"},          {"Protocol", "ETSI 07.05-PDU"},
        {"TerminalNumber", "+4670000"}, {"ModemInitString", "ATZ"},
        {"ModemSpeed", "9600"},      {"ModemSettings", "n,8,1"},
        {"MaxChar", "160"},          {"CharSet", "GSM 3.38 Default"},
        {"MessagePrefix", "0"},      {"PrefixText", ""}};
    for (const auto& [k, v] : overrides) cols[k] = v;
    Database db = Db();
    Table t = db.Open("Settings_Oper_Phone_MO");
    t.AddNew();
    for (const auto& [k, v] : cols) t.Set(k, v);
    t.Update();
  }

  void Send(const std::string& phone, const std::string& message,
            const std::string& oper = "Alpha") {
    SendToPhoneMO(ctx, oper, phone, "Ops", message, status, text);
  }

  std::int16_t status = 0;
  std::string text = "preset";
};

TEST_F(PhoneMO, PduProtocolDialogue) {
  AddOperator();
  Send("46700", "hellohello");
  EXPECT_THAT(term->commands,
              ElementsAre("ATZ", "AT+CMGF=0", "AT+CSCS=\"GSM\"", "AT+CSMS=0",
                          "AT+CSCA=\"+4670000\"", "AT+CSQ", "AT+CMGS=19", kHelloPdu));
  EXPECT_EQ(status, 1);
  EXPECT_EQ(text, "ALPHA[SS=17]: Message sent to receiver.");
  EXPECT_FALSE(term->IsOpen());
  EXPECT_FALSE(term->Dtr());
  EXPECT_TRUE(term->Rts());  // RTS is not dropped again
  EXPECT_EQ(term->settings, "9600,n,8,1");
  EXPECT_EQ(ctx.StatusStep, 4);
  EXPECT_EQ(ctx.StatusText, "Disconnecting...");
}

// The full dialogues of the other protocols run against the pty terminal in the end-to-end
// tests; these are their edge cases.
TEST_F(PhoneMO, ProtocolEdgeCases) {
  EXPECT_EQ(SmscField("+4670000"), "0591640700F0");
  EXPECT_EQ(SmscField("46705008999"), "07916407058099F9");

  AddOperator({{"Name", "Text"}, {"Protocol", "ETSI 07.05-TEXT"}});
  Send("+4670123", "Alarm", "Text");  // already international: sent unchanged
  EXPECT_THAT(term->commands, Contains("AT+CMGS=\"+4670123\""));

  AddOperator({{"Name", "Tetra"}, {"Protocol", "TETRA SDS4-TEXT"}, {"CharSet", "TETRA 8859-1"},
               {"MaxChar", "300"}});
  Send("4670123", std::string(200, 'x'), "Tetra");
  EXPECT_EQ(term->bodies.back(), std::string(140, 'x'));
  EXPECT_THAT(term->writes, Contains("AT+CMGS=\"4670123\"\r\n"));
  EXPECT_EQ(text, "TETRA[SS=17]: Message sent to receiver.");
}

TEST_F(PhoneMO, ErrorToCharacterSetFailsAfterTwoFullWaits) {
  AddOperator();
  term->errorTo.insert("AT+CSCS=\"GSM\"");
  std::uint64_t ms = FakeMs([&] { Send("46700", "hello"); });
  EXPECT_EQ(status, 3);
  EXPECT_EQ(text, "MO-SMS: Error when sending AT+CSCS=GSM<CR> to MS.");
  EXPECT_THAT(term->commands,
              ElementsAre("ATZ", "AT+CMGF=0", "AT+CSCS=\"GSM\"", "AT+CSCS=\"GSM\""));
  EXPECT_GT(ms, 2 * 3000u);
  EXPECT_FALSE(term->IsOpen());
  EXPECT_FALSE(term->Dtr());
}

TEST_F(PhoneMO, InitialisationIsTriedRetriesPlusOneTimes) {
  AddOperator();
  term->silentTo.insert("ATZ");
  SetColumn("Settings_Modem", "Retries", "0");
  Send("46700", "hello");
  EXPECT_THAT(term->commands, ElementsAre("ATZ"));
  EXPECT_EQ(status, 3);
  EXPECT_EQ(text, "MO-SMS: Error when sending ATZ<CR> to MS.");

  term->commands.clear();
  SetColumn("Settings_Modem", "Retries", "2");
  Send("46700", "hello");
  EXPECT_THAT(term->commands, ElementsAre("ATZ", "ATZ", "ATZ"));

  term->silentTo.clear();
  term->failTimes["ATZ"] = 2;
  term->commands.clear();
  Send("46700", "hello");
  EXPECT_EQ(status, 1);
  EXPECT_EQ(std::count(term->commands.begin(), term->commands.end(), "ATZ"), 3);
}

TEST_F(PhoneMO, RefusedMessageIsSentAgainWithoutNewCommandThenFails) {
  AddOperator();
  term->bodyErrors = 1;
  Send("46700", "hellohello");
  EXPECT_EQ(status, 1);
  EXPECT_EQ(std::count(term->commands.begin(), term->commands.end(), "AT+CMGS=19"), 1);
  EXPECT_THAT(term->bodies, ElementsAre(kHelloPdu, kHelloPdu));

  term->bodyErrors = 2;
  term->signal = "5,99";
  Send("46700", "hellohello");
  EXPECT_EQ(status, 3);
  EXPECT_EQ(text, "MO-SMS[SS=5]: Error when sending message to MS.");
}

TEST_F(PhoneMO, UnknownOperatorTouchesNoPort) {
  ctx.DebugMode = "Debug All";
  AddOperator();
  Send("46700", "hello", "alpha");  // names match exactly
  EXPECT_EQ(status, 3);
  EXPECT_EQ(text, "OPERATOR: alpha not found in database.");
  EXPECT_EQ(term->opens, 0);
  EXPECT_TRUE(ModemTraceLines().empty());
}

TEST_F(PhoneMO, PortThatDoesNotOpenFailsTheSessionWithDtrDropped) {
  AddOperator();
  SetColumn("Settings_Modem", "CommPort", "7");
  term->openFails = true;
  Send("46700", "hello");
  EXPECT_EQ(status, 3);
  EXPECT_EQ(text, "COM: Failed to open COM7");
  EXPECT_FALSE(term->Dtr());
  EXPECT_TRUE(term->commands.empty());
}

TEST_F(PhoneMO, UnknownProtocolLeavesTheStatusAsTheCallerSetIt) {
  AddOperator({{"Protocol", "ETSI 07.05-PDU "}});
  Send("46700", "hello");
  EXPECT_EQ(status, 0);
  EXPECT_EQ(text, "preset");
  EXPECT_THAT(term->commands, ElementsAre("ATZ"));
  EXPECT_FALSE(term->IsOpen());
}

TEST_F(PhoneMO, DeviceVanishingMidSessionEndsItQuicklyWithPortClosed) {
  AddOperator();
  term->vanishAfter = "AT+CMGF=0";
  std::uint64_t ms = FakeMs([&] { Send("46700", "hello"); });
  EXPECT_EQ(status, 3);
  EXPECT_EQ(text, "MO-SMS: Error when sending AT+CMGF=0<CR> to MS.");
  EXPECT_LE(ms, 2000u);
  EXPECT_FALSE(term->IsOpen());
  EXPECT_GT(ctx.ErrorCount, 0);
}

TEST_F(PhoneMO, SessionHeaderAndMessageLinesInTheTrace) {
  ctx.DebugMode = "Modem Communication";
  AddOperator({{"Protocol", "ETSI 07.05-TEXT"}, {"MessagePrefix", "1"}, {"PrefixText", "P:"}});
  Send("4670123", "a_b");
  auto lines = ModemTraceLines();
  const std::string t = "2026-06-26 10:15:00";
  std::vector<std::string> head(lines.begin(), lines.begin() + 39);
  EXPECT_THAT(head, ElementsAreArray(std::vector<std::string>{
                        "", "", std::string(42, '#'), "############ Start of Session ############",
                        std::string(42, '#'), "", "TimeStamp:     " + t, "",
                        "***** Phone Mobile Originated Access *****",
                        "Receiver:              Ops", "Phone Number:          4670123",
                        "Operator:              Alpha", "",
                        "************ Operator Settings ***********",
                        "Protocol:              ETSI 07.05-TEXT",
                        "Service Center Number: +4670000", "Modem Init String:     ATZ",
                        "Modem Speed:           9600", "Modem Settings:        n,8,1",
                        "Max Char:              160", "Char Set:              GSM 3.38 Default",
                        "Message Prefix:        True", "Prefix Text:           P:", "",
                        "************ Modem Parameters ************",
                        "Comm Port:             1", "Dial Prefix:           ",
                        "Comm. Delays:          ", "Dial Time Out:         0",
                        "Dial Retries:          1", "", std::string(42, '-'),
                        t + "    Set DTR to True --> OK.", t + "    Close Port --> OK.",
                        t + "    PortSettings: 9600,n,8,1 --> OK.", t + "    Open Port --> OK.",
                        t + "    Set RTS to True --> OK.", "", t + "    Sending:  ATZ<CR> --> OK."}));
  EXPECT_THAT(lines, Contains(t + "    Original Message:      a_b"));
  EXPECT_THAT(lines, Contains(t + "    Character Conversion:  P:a\x11" "b"));
  EXPECT_THAT(lines, Contains(t + "    Coded Message to Send: P:a<DC1>b"));
}

class FormatMessage : public ModemTest {
 protected:
  std::string Format(OperSettingsMO op, const std::string& message, const std::string& phone = "1") {
    std::string coded;
    FormatMessageMO(ctx, op, phone, message, coded);
    return coded;
  }
  OperSettingsMO Op(const std::string& protocol, const std::string& charSet, int maxChar = 160) {
    OperSettingsMO op;
    op.Protocol = protocol;
    op.CharSet = charSet;
    op.MaxChar = static_cast<std::int16_t>(maxChar);
    return op;
  }
};

TEST_F(FormatMessage, LineEndsKeepLfForGsmAndNeitherForTetra) {
  EXPECT_EQ(Format(Op("ETSI 07.05-TEXT", "GSM 3.38 Default"), "a\r\nb"), "a\nb");
  EXPECT_EQ(Format(Op("TETRA SDS4-TEXT", "TETRA PCCP437"), "a\r\nb"), "ab");
  EXPECT_EQ(Format(Op("ETSI 07.05-TEXT", "GSM 3.38 Other"), "a"), "");
  EXPECT_EQ(Format(Op("Other", "GSM 3.38 Default"), "a"), "");
}

TEST_F(FormatMessage, CutsFollowTheCharacterSet) {
  // MaxChar cuts the text before conversion and, for Extended, the converted septets again.
  EXPECT_EQ(Format(Op("ETSI 07.05-TEXT", "GSM 3.38 Default", 3), "abcdef"), "abc");
  EXPECT_EQ(Format(Op("ETSI 07.05-TEXT", "GSM 3.38 Extended", 4), "[x]"), "\x1B<x\x1B");
  // UCS-2 is cut to 70 characters, prefix included, whatever MaxChar says.
  OperSettingsMO uni = Op("ETSI 07.05-PDU", "GSM 3.38 UniCode");
  uni.MessagePrefix = true;
  uni.PrefixText = "ALARM: ";
  std::string pdu = Format(uni, std::string(100, 'x'));
  EXPECT_EQ(pdu.substr(12, 4), "088C");  // DCS 08, UDL 140 octets
  EXPECT_EQ(pdu.substr(16, 28), "0041004C00410052004D003A0020");
  EXPECT_EQ(pdu.size(), 16u + 280u);
}

TEST_F(FormatMessage, PrefixIsAddedAfterConversion) {
  OperSettingsMO op = Op("ETSI 07.05-TEXT", "GSM 3.38 Default");
  op.MessagePrefix = true;
  op.PrefixText = "Ä:";
  EXPECT_EQ(Format(op, "Ä"), "Ä:\x5B");
}

}  // namespace
}  // namespace varnel
