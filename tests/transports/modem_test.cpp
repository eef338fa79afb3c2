#include "transports/modem.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "transports/modem_fixture.h"

namespace varnel {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::ModemTest;

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
};

TEST_F(ModemPrimitives, CommDelaysFollowTheWordAndUnknownWordsKeepThePreviousValues) {
  ModemParameters mp;
  EXPECT_EQ(ctx.gsm.ShortCommDelay, 0);
  EXPECT_EQ(ctx.gsm.LongCommDelay, 0);
  SetColumn("Settings_Modem", "ModemCommDelays", "Normal");
  GetModemParameters(ctx, mp);
  EXPECT_EQ(ctx.gsm.ShortCommDelay, 100);
  EXPECT_EQ(ctx.gsm.LongCommDelay, 500);
  SetColumn("Settings_Modem", "ModemCommDelays", "normal");  // words are case-sensitive
  GetModemParameters(ctx, mp);
  EXPECT_EQ(ctx.gsm.ShortCommDelay, 100);
  SetColumn("Settings_Modem", "ModemCommDelays", "Long");
  GetModemParameters(ctx, mp);
  EXPECT_EQ(ctx.gsm.ShortCommDelay, 200);
  EXPECT_EQ(ctx.gsm.LongCommDelay, 1000);
  SetColumn("Settings_Modem", "ModemCommDelays", "Short");
  GetModemParameters(ctx, mp);
  EXPECT_EQ(ctx.gsm.ShortCommDelay, 20);
  EXPECT_EQ(ctx.gsm.LongCommDelay, 20);
  EXPECT_EQ(mp.CommPort, 1);
  EXPECT_EQ(mp.ModemInitString, "ATZ");
  EXPECT_EQ(mp.Retries, 1);
}

TEST_F(ModemPrimitives, ExpectedTextIsMatchedCaseSensitivelyAnywhereIncludingTheEcho) {
  Open();
  term->replyTo["AT+Y"] = "\r\nok\r\n";
  bool ok = true;
  SendATtoModem(ctx, "AT+Y");
  WaitForResponse(ctx, "OK\r", 1, ok);
  EXPECT_FALSE(ok);
  SendATtoModem(ctx, "AT+Y");
  WaitForResponse(ctx, "+Y", 1, ok);
  EXPECT_TRUE(ok);  // found in the echoed command
}

TEST_F(ModemPrimitives, ErrorIsNoFailureTheWaitRunsToItsTimeOutThenSendsCr) {
  Open();
  term->errorTo.insert("AT+X");
  bool ok = true;
  SendATtoModem(ctx, "AT+X");
  std::uint64_t ms = FakeMs([&] { WaitForResponse(ctx, "OK\r", 4, ok); });
  EXPECT_FALSE(ok);
  EXPECT_GT(ms, 3000u);
  EXPECT_LE(ms, 4500u);
  EXPECT_EQ(term->writes.back(), "\r");
  // A time-out of 0 ends after the first slice.
  term->silentTo.insert("AT+Z");
  SendATtoModem(ctx, "AT+Z");
  EXPECT_LE(FakeMs([&] { WaitForResponse(ctx, "OK\r", 0, ok); }), 500u);
}

TEST_F(ModemPrimitives, SignalStrengthIsTheNumberBeforeTheCommaOfTheCsqReply) {
  Open();
  auto signalOf = [&](const std::string& reply, bool silent = false) {
    term->replyTo["AT+CSQ"] = reply;
    if (silent) term->silentTo.insert("AT+CSQ");
    bool ok = false;
    std::string signal = "x";
    SendATtoModem(ctx, "AT+CSQ");
    WaitForResponseSS(ctx, "OK\r", 1, ok, signal);
    return signal;
  };
  EXPECT_EQ(signalOf("\r\n+CSQ: 5,99\r\n\r\nOK\r\n"), "5");
  EXPECT_EQ(signalOf("\r\n+CSQ:   17,99\r\n\r\nOK\r\n"), "17");
  EXPECT_EQ(signalOf("\r\n+CSQ 17 99\r\n\r\nOK\r\n"), "--");   // no ":"
  EXPECT_EQ(signalOf("\r\n+CSQ: 17\r\n\r\nOK\r\n"), "--");     // no "," after it
  EXPECT_EQ(signalOf("\r\n+CSQ: ,99\r\n\r\nOK\r\n"), "--");    // nothing before the ","
  EXPECT_EQ(signalOf("", true), "--");                          // time-out
}

TEST_F(ModemPrimitives, DialResponseByCarrierFailureWordsAndTimeOut) {
  Open();
  std::string result;
  term->replyTo["ATDT1"] = "\r\nNO CARRIER\r\nBUSY\r\n";
  SendATtoModem(ctx, "ATDT1");
  WaitForDialResponse(ctx, 30, result);
  EXPECT_EQ(result, "No Carrier.");
  EXPECT_EQ(term->writes.back(), "ATH\r");

  term->replyTo["ATDT2"] = "\r\nNO DIALTONE\r\n";
  SendATtoModem(ctx, "ATDT2");
  WaitForDialResponse(ctx, 30, result);
  EXPECT_EQ(result, "No Dialtone.");

  // A CONNECT text alone does not end the wait; carrier detect does, even without text.
  term->replyTo["ATDT3"] = "\r\nCONNECT 9600\r\n";
  SendATtoModem(ctx, "ATDT3");
  WaitForDialResponse(ctx, 2, result);
  EXPECT_EQ(result, "Dial Time Out.");
  EXPECT_EQ(term->writes.back(), "ATH\r");

  term->silentTo.insert("ATDT4");
  term->carrier = true;
  SendATtoModem(ctx, "ATDT4");
  WaitForDialResponse(ctx, 30, result);
  EXPECT_EQ(result, "OK");
}

TEST(TranslateControlCodes, NamesEveryCodeBelow32AndNothingElse) {
  EXPECT_EQ(TranslateControlCodes("AT\r\n"), "AT<CR><LF>");
  EXPECT_EQ(TranslateControlCodes("plain text ~\x7F"), "plain text ~\x7F");
  EXPECT_EQ(TranslateControlCodes(std::string("\0\x1A\x1B\x1F", 4)), "<NUL><SUB><ESC><US>");
  EXPECT_EQ(TranslateControlCodes("ä"), "ä");
}

TEST_F(ModemPrimitives, TraceLinesOfAShortSession) {
  ctx.DebugMode = "Modem Communication";
  Open();
  SetRTS(ctx, true);
  SendATtoModem(ctx, "AT");
  bool ok = false;
  WaitForResponse(ctx, "OK\r", 4, ok);
  SendATtoModem_CtrlZ(ctx, "0011");
  SendATtoModem_Rakel(ctx, "AT+CMGS=\"1\"");
  PortClose(ctx);
  SetDTR(ctx, false);
  const std::string t = "2026-06-26 10:15:00";
  EXPECT_THAT(ModemTraceLines(),
              ElementsAre(t + "    PortSettings: 9600,n,8,1 --> OK.", t + "    Open Port --> OK.",
                          t + "    Set RTS to True --> OK.", "", t + "    Sending:  AT<CR> --> OK.",
                          t + "    Response: AT<CR><CR><LF>OK<CR><LF>", "",
                          t + "    Sending:  0011<SUB> --> OK.", "",
                          t + "    Sending:  AT+CMGS=\"1\"<CR><LF> --> OK.",
                          t + "    Close Port --> OK.", t + "    Set DTR to False --> OK."));
  EXPECT_EQ(term->writes[0], "AT\r");
  EXPECT_EQ(term->writes[1], "0011\x1A");
  EXPECT_EQ(term->writes[2], "AT+CMGS=\"1\"\r\n");
}

TEST_F(ModemPrimitives, FailingPrimitivesReportAndTraceTheErrorVariant) {
  ctx.DebugMode = "Debug All";
  PortSettings(ctx, "9600", "x,8,1", 1);
  term->openFails = true;
  bool opened = true;
  PortOpen(ctx, opened);
  EXPECT_FALSE(opened);
  SendATtoModem(ctx, "AT");  // the port is not open
  const std::string t = "2026-06-26 10:15:00";
  EXPECT_THAT(ModemTraceLines(),
              ElementsAre(t + "    PortSettings: 9600,x,8,1 --> Error.", t + "    Open Port --> Error.",
                          "", t + "    Sending:  AT<CR> --> Error."));
  EXPECT_THAT(Entries(evt::kRuntimeError),
              ElementsAre("[380] Invalid property value (Module: PortSettings)",
                          "[8002] Invalid port number (Module: PortOpen)",
                          "[8012] The device is not open (Module: SendATtoModem)"));
  EXPECT_EQ(ctx.ErrorCount, 3);
}

TEST_F(ModemPrimitives, ClosingAClosedPortOnlySwitchesFlowControlOff) {
  term->handshaking = 2;
  PortClose(ctx);
  EXPECT_EQ(term->handshaking, 0);
  EXPECT_EQ(term->closes, 0);
  EXPECT_TRUE(log.entries.empty());
}

TEST_F(ModemPrimitives, VanishedDeviceEndsTheWaitAtOnceWithAnError) {
  Open();
  term->silentTo.insert("AT");
  SendATtoModem(ctx, "AT");
  term->vanished = true;
  bool ok = true;
  EXPECT_LE(FakeMs([&] { WaitForResponse(ctx, "OK\r", 10, ok); }), 500u);
  EXPECT_FALSE(ok);
  EXPECT_THAT(Entries(evt::kRuntimeError),
              ElementsAre(HasSubstr("[57] Device I/O error (Module: WaitForResponse)")));
}

TEST_F(ModemPrimitives, FloodingTerminalEndsAtTheTimeOut) {
  ctx.DebugMode = "Modem Communication";
  Open();
  term->flood = std::string(100 * 1024, 'Z');
  bool ok = true;
  SendATtoModem(ctx, "AT");
  std::uint64_t ms = FakeMs([&] { WaitForResponse(ctx, "never", 3, ok); });
  EXPECT_FALSE(ok);
  EXPECT_LE(ms, 3500u);
  // The wait keeps a bounded tail of what it collected.
  auto lines = ModemTraceLines();
  ASSERT_FALSE(lines.empty());
  EXPECT_LE(lines.back().size(), 300u * 1024);
}

}  // namespace
}  // namespace varnel
