#include "transports/modem.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>

#include "transports/modem_fixture.h"

namespace varnel {
namespace {

using ::testing::ElementsAre;
using testing::ModemTest;

const std::string kT = "2026-06-26 10:15:00";

class ModemPrimitives : public ModemTest {
 protected:
  void Open() {
    ModemParameters mp;
    GetModemParameters(ctx, mp);
    PortSettings(ctx, mp.ModemSpeed, mp.ModemSettings, mp.CommPort);
    bool opened = false;
    PortOpen(ctx, opened);
    ASSERT_TRUE(opened);
  }
  bool SendAndWait(const std::string& command, const std::string& expected, int timeout) {
    bool ok = false;
    SendATtoModem(ctx, command);
    WaitForResponse(ctx, expected, timeout, ok);
    return ok;
  }
};

TEST_F(ModemPrimitives, CommDelaysFollowTheWordAndUnknownWordsKeepThePreviousValues) {
  struct Case { const char* word; int shortMs, longMs; };
  // Words are case-sensitive: "normal" keeps what "Normal" set.
  for (Case c : {Case{"Normal", 100, 500}, {"normal", 100, 500}, {"Long", 200, 1000},
                 {"Short", 20, 20}}) {
    SetColumn("Settings_Modem", "ModemCommDelays", c.word);
    ModemParameters mp;
    GetModemParameters(ctx, mp);
    EXPECT_EQ(ctx.gsm.ShortCommDelay, c.shortMs) << c.word;
    EXPECT_EQ(ctx.gsm.LongCommDelay, c.longMs) << c.word;
  }
}

TEST_F(ModemPrimitives, ExpectedTextIsMatchedCaseSensitivelyAnywhereIncludingTheEcho) {
  Open();
  term->replyTo["AT+Y"] = "\r\nok\r\n";
  EXPECT_FALSE(SendAndWait("AT+Y", "OK\r", 1));
  EXPECT_TRUE(SendAndWait("AT+Y", "+Y", 1));  // found in the echoed command
}

TEST_F(ModemPrimitives, WaitRunsToItsTimeOutOnErrorAndOnAFloodingTerminal) {
  ctx.DebugMode = "Modem Communication";
  Open();
  term->replyTo["AT+X"] = "\r\nERROR\r\n";  // no failure: the wait goes on
  std::uint64_t ms = FakeMs([&] { EXPECT_FALSE(SendAndWait("AT+X", "OK\r", 4)); });
  EXPECT_GT(ms, 3000u);
  EXPECT_LE(ms, 4500u);
  EXPECT_EQ(term->writes.back(), "\r");  // ends whatever the terminal waits for
  EXPECT_LE(FakeMs([&] { SendAndWait("AT+X", "OK\r", 0); }), 500u);  // one slice

  term->flood = std::string(100 * 1024, 'Z');
  EXPECT_LE(FakeMs([&] { EXPECT_FALSE(SendAndWait("AT", "never", 3)); }), 3500u);
  EXPECT_LE(ModemTraceLines().back().size(), 300u * 1024);  // a bounded tail is kept
}

TEST_F(ModemPrimitives, SignalStrengthIsTheNumberBeforeTheCommaOfTheCsqReply) {
  Open();
  for (auto [reply, signal] : std::vector<std::pair<std::string, std::string>>{
           {"+CSQ: 5,99", "5"}, {"+CSQ:   17,99", "17"}, {"+CSQ 17 99", "--"},  // no ":"
           {"+CSQ: 17", "--"},    // no "," after it
           {"+CSQ: ,99", "--"},   // nothing before the ","
           {"", "--"}}) {         // time-out
    term->replyTo["AT+CSQ"] = reply.empty() ? "" : "\r\n" + reply + "\r\n\r\nOK\r\n";
    bool ok = false;
    std::string got = "x";
    SendATtoModem(ctx, "AT+CSQ");
    WaitForResponseSS(ctx, "OK\r", 1, ok, got);
    EXPECT_EQ(got, signal) << reply;
  }
}

TEST_F(ModemPrimitives, DialResponseByCarrierFailureWordsAndTimeOut) {
  Open();
  struct Case { const char* reply; bool carrier; const char* result; };
  // A CONNECT text alone does not end the wait; carrier detect does, even without text.
  for (Case c : {Case{"\r\nNO CARRIER\r\nBUSY\r\n", false, "No Carrier."},
                 {"\r\nNO DIALTONE\r\n", false, "No Dialtone."},
                 {"\r\nCONNECT 9600\r\n", false, "Dial Time Out."}, {"", true, "OK"}}) {
    term->replyTo["ATDT1"] = c.reply;
    term->carrier = c.carrier;
    std::string result;
    SendATtoModem(ctx, "ATDT1");
    WaitForDialResponse(ctx, 2, result);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(term->writes.back() == "ATH\r", !c.carrier) << c.result;  // hung up on failure
  }
}

TEST_F(ModemPrimitives, TraceLinesOfASessionAndOfFailingPrimitives) {
  ctx.DebugMode = "Modem Communication";
  Open();
  SetRTS(ctx, true);
  SendAndWait("AT", "OK\r", 4);
  SendATtoModem_CtrlZ(ctx, "0011");
  SendATtoModem_Rakel(ctx, "AT+CMGS=\"1\"");
  PortClose(ctx);
  SetDTR(ctx, false);
  EXPECT_THAT(ModemTraceLines(),
              ElementsAre(kT + "    PortSettings: 9600,n,8,1 --> OK.", kT + "    Open Port --> OK.",
                          kT + "    Set RTS to True --> OK.", "",
                          kT + "    Sending:  AT<CR> --> OK.",
                          kT + "    Response: AT<CR><CR><LF>OK<CR><LF>", "",
                          kT + "    Sending:  0011<SUB> --> OK.", "",
                          kT + "    Sending:  AT+CMGS=\"1\"<CR><LF> --> OK.",
                          kT + "    Close Port --> OK.", kT + "    Set DTR to False --> OK."));
  EXPECT_EQ(TranslateControlCodes(std::string("\0\x1F ~\x7Fä", 7)), "<NUL><US> ~\x7Fä");

  std::remove(File("Debug/Modem_Communication.txt").c_str());
  PortSettings(ctx, "9600", "x,8,1", 1);
  term->openFails = true;
  bool opened = true;
  PortOpen(ctx, opened);
  EXPECT_FALSE(opened);
  SendATtoModem(ctx, "AT");  // the port is not open
  EXPECT_THAT(ModemTraceLines(),
              ElementsAre(kT + "    PortSettings: 9600,x,8,1 --> Error.",
                          kT + "    Open Port --> Error.", "",
                          kT + "    Sending:  AT<CR> --> Error."));
  EXPECT_THAT(Entries(evt::kRuntimeError),
              ElementsAre("[380] Invalid property value (Module: PortSettings)",
                          "[8002] Invalid port number (Module: PortOpen)",
                          "[8012] The device is not open (Module: SendATtoModem)"));
}

}  // namespace
}  // namespace varnel
