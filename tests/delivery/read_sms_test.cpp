#include "delivery/read_sms.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/error.h"
#include "transports/gsm_charset.h"
#include "transports/modem_fixture.h"
#include "transports/sms_decode.h"

namespace varnel {
namespace {

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
  std::vector<std::string> SmsCmdLines() {
    return FileExists(File("SmsCmd.log")) ? ReadLines(File("SmsCmd.log"))
                                          : std::vector<std::string>{};
  }
};

TEST_F(ReadSmsTest, ProtocolDecidesWhetherAServiceCentreFieldIsStripped) {
  term->store[1] = Deliver("4670123", "plain").substr(2);  // listed without the field
  ctx.gsm.SmsProtocol = "ETSI 07.05-PDU";
  ReadSms(ctx, false);
  EXPECT_THAT(SmsCmdLines(), ElementsAre("4670123\tplain"));
  term->store[1] = kAck;
  ctx.gsm.SmsProtocol = "Other";  // deleted, not decoded
  ReadSms(ctx, false);
  EXPECT_EQ(SmsCmdLines().size(), 1u);
  EXPECT_TRUE(term->store.empty());
}

TEST_F(ReadSmsTest, FailedDeleteStillDeliversWhatWasAlreadyDeleted) {
  term->store = {{1, kAck}, {2, kSeven}, {3, kSeven}};
  term->replyTo["AT+CMGD=2"] = "\r\nERROR\r\n";
  ReadSms(ctx, false);
  EXPECT_THAT(SmsCmdLines(), ElementsAre("46701234567\tACK 901"));
  EXPECT_THAT(Entries(evt::kRuntimeError),
              ElementsAre("MT-SMS: Error when sending AT+CMGD=2<CR> to MS. (Module: ReadSms)"));
  EXPECT_EQ(term->store.size(), 2u);  // 2 failed, 3 was not tried: both wait for next time
  EXPECT_FALSE(term->IsOpen() || term->Dtr());
}

TEST_F(ReadSmsTest, AtMostFiftyMessagesACallTheRestStayOnTheTerminal) {
  for (int i = 1; i <= 60; ++i) term->store[i] = Deliver("46700", "m" + std::to_string(i));
  ReadSms(ctx, false);
  auto lines = SmsCmdLines();
  ASSERT_EQ(lines.size(), 50u);
  EXPECT_EQ(lines.back(), "46700\tm50");
  EXPECT_EQ(term->store.size(), 10u);
  EXPECT_EQ(term->store.begin()->first, 51);
}

TEST_F(ReadSmsTest, MalformedPduIsReportedAndTheOthersAreDelivered) {
  term->store = {{1, kAck},
                 {2, "07916407000000F00407ZZ"},
                 {3, kSeven.substr(0, kSeven.size() - 4)},  // user data cut short
                 {4, kSeven}};
  ReadSms(ctx, false);
  EXPECT_THAT(SmsCmdLines(), ElementsAre("46701234567\tACK 901", "4670123\tabcdefg"));
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
  ReceivedSms a = Decode(kAck);
  EXPECT_EQ(a.number, "46701234567");  // odd length: the F filler is gone
  EXPECT_EQ(a.text, "ACK 901");
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
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].index, "4");
  // A PDU line that the reply does not end is not taken.
  EXPECT_TRUE(ParseCmglListing("+CMGL: 1,0,,2\r\nAABB", 50).empty());
  // A header without a PDU line before the next header.
  list = ParseCmglListing("+CMGL: 1,0,,2\r\n+CMGL: 2,0,,2\r\nCC\r\n", 50);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].pdu, "CC");
}

}  // namespace
}  // namespace varnel
