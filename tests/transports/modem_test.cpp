#include "transports/modem.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "transports/modem_fixture.h"

namespace varnel {
namespace {

using ::testing::ElementsAre;
using testing::ModemTest;

const std::string kT = "2026-06-26 10:15:00";

class ModemPrimitives : public ModemTest {
 protected:
  void Open() { ASSERT_TRUE(OpenModemPort(ctx, "9600", "n,8,1", 1)); }
};

TEST_F(ModemPrimitives, SignalStrengthIsTheNumberBeforeTheCommaOfTheCsqReply) {
  Open();
  for (auto [reply, signal] : std::vector<std::pair<std::string, std::string>>{
           {"+CSQ: 5,99", "5"},
           {"+CSQ:   17,99", "17"},
           {"+CSQ 17 99", "--"},  // no ":"
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

// The trace lines of a session's steps are followed end to end; these are the failures.
TEST_F(ModemPrimitives, FailingPrimitivesTraceErrorsAndReportTheirModule) {
  ctx.DebugMode = "Modem Communication";
  EXPECT_EQ(TranslateControlCodes(std::string("\0\x1F ~\x7Fä", 7)), "<NUL><US> ~\x7Fä");
  PortSettings(ctx, "9600", "x,8,1", 1);
  term->openFails = true;
  bool opened = true;
  PortOpen(ctx, opened);
  EXPECT_FALSE(opened);
  SendATtoModem(ctx, "AT");  // the port is not open
  EXPECT_THAT(
      ReadLines(File("Debug/Modem_Communication.txt")),
      ElementsAre(kT + "    PortSettings: 9600,x,8,1 --> Error.", kT + "    Open Port --> Error.",
                  "", kT + "    Sending:  AT<CR> --> Error."));
  EXPECT_THAT(Entries(evt::kRuntimeError),
              ElementsAre("[380] Invalid property value (Module: PortSettings)",
                          "[8002] Invalid port number (Module: PortOpen)",
                          "[8012] The device is not open (Module: SendATtoModem)"));
}

}  // namespace
}  // namespace varnel
