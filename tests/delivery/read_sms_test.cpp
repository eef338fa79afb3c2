#include "delivery/read_sms.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "delivery/sms_decode.h"
#include "service/main_cycle.h"
#include "service/service_open.h"
#include "transports/gsm_charset.h"
#include "transports/modem_fixture.h"

namespace varnel {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::ModemTest;

// SMS-DELIVER PDUs as a terminal lists them, service centre field first (python-gammu).
const std::string kAck = "059164070000000B916407214365F700004210203040500007C1E1129483C500";
const std::string kSeven = "059164070000000791640721F30000421020304050000761F1985C369F01";

// A DELIVER PDU from sender with a 7-bit text, with an empty service centre field.
std::string Deliver(const std::string& sender, const std::string& text) {
  std::string submit = CodeMessageToEtsiPduMode(GSM338Default7Bit(text), sender);
  std::size_t da = 4 + 4 + (sender.size() + 1) / 2 * 2;  // first octet, MR, DA
  return "00" "04" + submit.substr(4, da - 4) + "0000" "42102030405000" + submit.substr(da + 4);
}

class ReadSmsTest : public ModemTest {
 protected:
  ReadSmsTest() { ctx.gsm.SmsProtocol = "ETSI 07.05-PDU SCA"; }
  std::vector<std::string> SmsCmdLines() {
    return FileExists(File("SmsCmd.log")) ? ReadLines(File("SmsCmd.log"))
                                          : std::vector<std::string>{};
  }
};

TEST_F(ReadSmsTest, ReadsDeletesAndAppendsEveryMessage) {
  term->AddMessage(1, kAck);
  term->AddMessage(4, kSeven);
  ReadSms(ctx, false);
  EXPECT_THAT(term->commands, ElementsAre("ATZ", "AT+CMGF=0", "AT+CSMS=0", "AT+CPMS=\"SM\"",
                                          "AT+CMGL=4", "AT+CMGD=1", "AT+CMGD=4"));
  EXPECT_THAT(SmsCmdLines(), ElementsAre("46701234567\tACK 901", "4670123\tabcdefg"));
  EXPECT_TRUE(term->store.empty());
  EXPECT_FALSE(term->IsOpen());
  EXPECT_FALSE(term->Dtr());
  EXPECT_EQ(ctx.StatusStep, 4);
  EXPECT_EQ(ctx.StatusText, "Reading/Clearing SMS from MS");
  EXPECT_TRUE(log.entries.empty());
}

TEST_F(ReadSmsTest, EmptyStorageDeletesAndAppendsNothing) {
  ctx.gsm.SmsStorage = "ME";
  ReadSms(ctx, false);
  EXPECT_THAT(term->commands, ElementsAre("ATZ", "AT+CMGF=0", "AT+CSMS=0", "AT+CPMS=\"ME\"",
                                          "AT+CMGL=4"));
  EXPECT_FALSE(FileExists(File("SmsCmd.log")));
}

TEST_F(ReadSmsTest, ProtocolDecidesWhetherAServiceCentreFieldIsStripped) {
  term->AddMessage(1, Deliver("4670123", "plain").substr(2));  // listed without the field
  ctx.gsm.SmsProtocol = "ETSI 07.05-PDU";
  ReadSms(ctx, false);
  EXPECT_THAT(SmsCmdLines(), ElementsAre("4670123\tplain"));
  term->AddMessage(1, kAck);
  ctx.gsm.SmsProtocol = "Other";  // deleted, not decoded
  ReadSms(ctx, false);
  EXPECT_EQ(SmsCmdLines().size(), 1u);
  EXPECT_TRUE(term->store.empty());
}

TEST_F(ReadSmsTest, FailedDeleteStillDeliversWhatWasAlreadyDeleted) {
  term->AddMessage(1, kAck);
  term->AddMessage(2, kSeven);
  term->AddMessage(3, kSeven);
  term->errorTo.insert("AT+CMGD=2");
  ReadSms(ctx, false);
  EXPECT_THAT(SmsCmdLines(), ElementsAre("46701234567\tACK 901"));
  EXPECT_THAT(Entries(evt::kRuntimeError),
              ElementsAre("MT-SMS: Error when sending AT+CMGD=2<CR> to MS. (Module: ReadSms)"));
  EXPECT_EQ(ctx.LastErrorText, "2026-06-26: MT-SMS: Error when sending AT+CMGD=2<CR> to MS.");
  EXPECT_EQ(term->store.size(), 2u);  // 2 failed, 3 was not tried: both wait for next time
  EXPECT_EQ(std::count(term->commands.begin(), term->commands.end(), "AT+CMGD=2"), 2);
  EXPECT_FALSE(term->IsOpen());
  EXPECT_FALSE(term->Dtr());
}

TEST_F(ReadSmsTest, AtMostFiftyMessagesACallTheRestStayOnTheTerminal) {
  for (int i = 1; i <= 60; ++i) term->AddMessage(i, Deliver("46700", "m" + std::to_string(i)));
  ReadSms(ctx, false);
  auto lines = SmsCmdLines();
  ASSERT_EQ(lines.size(), 50u);
  EXPECT_EQ(lines.front(), "46700\tm1");
  EXPECT_EQ(lines.back(), "46700\tm50");
  EXPECT_EQ(term->store.size(), 10u);
  EXPECT_EQ(term->store.begin()->first, 51);
  EXPECT_TRUE(log.entries.empty());
}

TEST_F(ReadSmsTest, MalformedPduIsReportedAndTheOthersAreDelivered) {
  term->AddMessage(1, kAck);
  term->AddMessage(2, "07916407000000F00407ZZ");
  term->AddMessage(3, kSeven.substr(0, kSeven.size() - 4));  // user data cut short
  term->AddMessage(4, kSeven);
  ReadSms(ctx, false);
  EXPECT_THAT(SmsCmdLines(), ElementsAre("46701234567\tACK 901", "4670123\tabcdefg"));
  EXPECT_THAT(Entries(evt::kRuntimeError),
              ElementsAre(HasSubstr("(Module: DecodePduIncom)"),
                          HasSubstr("(Module: DecodePduIncom)")));
  EXPECT_TRUE(term->store.empty());
}

TEST_F(ReadSmsTest, PortOrInitialisationFailureEndsTheCallWithTheReason) {
  term->openFails = true;
  ReadSms(ctx, false);
  EXPECT_THAT(Entries(evt::kRuntimeError),
              ElementsAre("[8002] Invalid port number (Module: PortOpen)",
                          "COM: Failed to open COM1 (Module: ReadSms)"));
  EXPECT_FALSE(term->Dtr());

  log.entries.clear();
  term->openFails = false;
  term->silentTo.insert("ATZ");
  term->AddMessage(1, kAck);
  ReadSms(ctx, false);
  EXPECT_THAT(term->commands, ElementsAre("ATZ", "ATZ"));  // Retries 1: two attempts
  EXPECT_THAT(Entries(evt::kRuntimeError),
              ElementsAre("MT-SMS: Error when sending ATZ<CR> to MS. (Module: ReadSms)"));
  EXPECT_EQ(term->store.size(), 1u);
  EXPECT_FALSE(term->IsOpen());
}

TEST_F(ReadSmsTest, ServiceOpenClearsTheTerminalAndStoresTheStatus) {
  term->AddMessage(1, kAck);
  SetColumn("Event_SMS", "Enabled", "1");
  SetColumn("Event_SMS", "PMS", "Phone");
  SetColumn("Event_SMS", "Protocol", "ETSI 07.05-PDU");
  ServiceOpen(ctx, "smsServer");
  EXPECT_TRUE(ctx.SmsServerActive);
  EXPECT_EQ(ctx.gsm.SmsStorage, "ME");
  EXPECT_EQ(ctx.gsm.SmsProtocol, "ETSI 07.05-PDU");
  EXPECT_EQ(ctx.ListenerStatus[kLsSmsServer], 1);
  EXPECT_EQ(GetColumn("Event_SMS", "Status"), "2026-06-26 10:15:00\r\nSMS Server Started\r\n");
  EXPECT_TRUE(term->store.empty());
  EXPECT_FALSE(FileExists(File("SmsCmd.log")));
}

TEST_F(ReadSmsTest, CycleReadsOncePerMinuteWhileTheReaderIsActive) {
  ctx.SmsServerActive = true;
  ctx.LastMinute = "10:15";
  term->AddMessage(1, kAck);
  RunCycle(ctx);
  EXPECT_EQ(term->opens, 0);  // same minute
  clock.Set("2026-06-26 10:16:02");
  RunCycle(ctx);
  EXPECT_THAT(SmsCmdLines(), ElementsAre("46701234567\tACK 901"));
  EXPECT_EQ(ctx.LastMinute, "10:16");
  term->AddMessage(2, kSeven);
  RunCycle(ctx);
  EXPECT_EQ(term->opens, 1);
  ctx.SmsServerActive = false;
  clock.Set("2026-06-26 10:17:02");
  RunCycle(ctx);
  EXPECT_EQ(term->opens, 1);
  EXPECT_EQ(ctx.LastMinute, "10:16");
}

}  // namespace
}  // namespace varnel
