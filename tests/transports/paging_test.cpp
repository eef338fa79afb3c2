#include "transports/paging.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/test_support.h"
#include "transports/ansi_text.h"
#include "transports/espa.h"
#include "transports/modem_fixture.h"
#include "transports/pager_num.h"
#include "transports/paging_charset.h"
#include "transports/tap.h"
#include "transports/ucp.h"

namespace varnel {
namespace {

using testing::ModemTest;

// Control characters of the frames.
const std::string kSoh = "\x01", kStx = "\x02", kEtx = "\x03", kUs = "\x1F", kRs = "\x1E";

TEST(PagingBlocks, TapEspaAndUcpBytesWithTheirChecksums) {
  // The TAP checksum of 312 is written 1 3 8.
  EXPECT_EQ(TapBlock("123", "AB", false), kStx + "123\rAB\r" + kEtx + "138\r");
  EXPECT_EQ(TapBlock("1", "A", true), kStx + "1\rA)#*&(C\r" + kEtx + "198\r");
  EXPECT_EQ(EspaPagingBlock("55", "Hi"),
            kSoh + "1" + kStx + "1" + kUs + "55" + kRs + "2" + kUs + "Hi" + kEtx + "\x0C");
  // LEN counts from the transaction reference to the checksum.
  EXPECT_EQ(UcpFrame01("123", "0", "9", IA5IntUCP("Hi")),
            kStx + "01/00031/O/01/123/0/9/3/4869/B9" + kEtx);
}

// The centres' answers of each code are followed end to end; these are the malformed ones.
TEST(PagingReplies, UcpAndTapRepliesReadAsStatusAndText) {
  std::string text = "preset";
  // Too short to hold an acknowledgement: a failure that shows what came.
  EXPECT_EQ(UcpReplyStatus(kStx + "garbage" + kEtx, "Beta", text), kSendFailed);
  EXPECT_EQ(text, "BETA: Error[] <STX>garbage<ETX>");
  EXPECT_EQ(TapBlockReply("Message r", text), kNotSent);
  EXPECT_EQ(TapBlockReply("Not \x7B\x5B\r\x15\r", text), kSendFailed);
  EXPECT_EQ(text, "Not äÄ");
  EXPECT_EQ(TapBlockReply("\r\x06\r", text), kSent);
  EXPECT_EQ(text, "");
  // What a positive reply of operation 30 says about the delivery.
  // clang-format off
  for (auto [words, status, said] : {
           std::tuple{"ATTEMPTED DELIVERED", kSent, "Message delivered to receiver."},
           {"NOT DELIVERED REASON:05", kUnconfirmed,
            "No contact with receiver. New attempts will be done by Service Center."},
           {"NOT_ATTEMPTED REASON:1", kSendFailed,
            "Message can not be delivered by Service Center."}}) {  // clang-format on
    EXPECT_EQ(Ucp30DeliveryStatus(kStx + "01/00040/R/30/A/" + words + "/00" + kEtx, "Alpha", text),
              status)
        << words;
    EXPECT_EQ(text, "ALPHA: " + std::string(said));
  }
}

TEST(PagingCharsets, TablesForEachProtocol) {
  struct Case {
    std::string (*convert)(const std::string&);
    std::string in, out;
  };
  const Case cases[] = {
      {IA5IntTAP, "£Ä§ü x€", "\x01[_~ x "},
      {IA5IntTAP, "\u201E", " "},            // code 132 is a space outside the Swedish table
      {IA5SweTAP, "\u201E\u2020", "{\x0F"},  // code-page 437 ä and å
      {ANSItoASCII, "ØßÄ", "O \x8E"},
      {IA5IntUCP, "Hi Ø[{|@$_", "4869200B28282F000220"},
      {IA5IntUCP_Rev, "4869000B5F7E28", "Hi@Ø§ü("},
      {IA5IntUCP_Rev, "4Z41F", "A"},  // a pair that is not hex is skipped
  };
  for (const Case& c : cases) EXPECT_EQ(c.convert(c.in), c.out) << c.in;
}

class PagingSession : public ModemTest {
 protected:
  std::string Format(const std::string& protocol, const std::string& charSet,
                     const std::string& message, int maxChar = 40) {
    OperSettings op;
    op.Protocol = protocol;
    op.CharSet = charSet;
    op.MaxChar = static_cast<std::int16_t>(maxChar);
    std::string block;
    FormatMessage(ctx, op, "7", message, block);
    return block;
  }
  std::int16_t status = 0;
  std::string text = "preset";
};

TEST_F(PagingSession, FormattingByCharacterSetAndProtocol) {
  EXPECT_EQ(Format("TAP", "IA5 Swedish", "\u201EÄ"), TapBlock("7", " [", false));
  EXPECT_EQ(Format("ESPA 4.4.4", "IA5 Swedish", "\u201EÄ"), "{[");
  EXPECT_EQ(Format("ESPA 4.4.4", "ANSI to ASCII", "a\r\nä", 3), "a\n\x84");
  EXPECT_EQ(Format("ESPA 4.4.4", "IA5 Other", "a"), "");
  EXPECT_EQ(Format("Other", "IA5 International", "a"), "\r");
  EXPECT_EQ(Format("Other", "Transparent", "ä"), "\xE4\r");
  // A long text of high codes: the checksum sum neither overflows nor fails the frame.
  std::string frame = Format("UCP-01", "Transparent", std::string(2000, 'z'), 2000);
  EXPECT_EQ(std::stoul(frame.substr(4, 5)), frame.size() - 2);
  EXPECT_EQ(ctx.ErrorCount, 0);
}

TEST_F(PagingSession, EspaPortComesFromTheInitStringAndUnknownOperatorsFail) {
  for (const auto& [init, port] : {std::pair("3", 3), std::pair("COM3", 1)}) {
    AddRow("Settings_Oper_Pager_Alfa", {{"Name", init},
                                        {"Protocol", "ESPA 4.4.4"},
                                        {"ModemInitString", init},
                                        {"ModemSpeed", "9600"},
                                        {"ModemSettings", "n,8,1"}});
    SendToPhoneDA_PagerAlfa(ctx, "PagerAlfa", init, "55", "Ops", "Hi", status, text);
    EXPECT_EQ(term->PortNumber(), port);
    EXPECT_EQ(text, UpperCase(init) + ": Error when sending Poll Sequence.");
    EXPECT_FALSE(term->IsOpen() || term->Dtr());
  }
  // Pager operators are not looked for among the dial-up phone operators.
  SendToPhoneDA_PagerAlfa(ctx, "PhoneDA", "3", "55", "Ops", "Hi", status, text);
  EXPECT_EQ(text, "OPERATOR: 3 not found in database.");
}

TEST_F(PagingSession, PortThatDoesNotOpenFailsEverySessionAndLeavesDtrLow) {
  AddRow("Settings_Oper_Pager_Alfa", {{"Name", "Tap"}, {"Protocol", "TAP"}});
  AddRow("Settings_Oper_Pager_Alfa",
         {{"Name", "Espa"}, {"Protocol", "ESPA 4.4.4"}, {"ModemInitString", "3"}});
  term->openFails = true;
  SendToPhoneDA_PagerAlfa(ctx, "PagerAlfa", "Tap", "55", "Ops", "Hi", status, text);
  EXPECT_EQ(text, "COM: Failed to open COM1");
  SendToPhoneDA_PagerAlfa(ctx, "PagerAlfa", "Espa", "55", "Ops", "Hi", status, text);
  EXPECT_EQ(text, "COM: Failed to open COM3");
  text.clear();
  SendToPagerNum(ctx, "0740", "Ops", false, "55", 0, status, text);
  EXPECT_EQ(std::tuple(status, text), std::tuple(kSendFailed, "COM: Failed to open COM1"));
  EXPECT_FALSE(term->Dtr());
}

TEST_F(PagingSession, NumericCodeOfPausesOnlyIsSentWithoutNamingIt) {
  Update("Settings_Modem", "DialPrefix = 'ATDT'");
  SendToPagerNum(ctx, "0740", "Ops", false, ",,", 0, status, text);
  EXPECT_EQ(std::tuple(status, text), std::tuple(kSent, "preset"));
  EXPECT_THAT(term->commands, ::testing::ElementsAre("ATZ", "ATDT0740,,", "ATH"));
}

}  // namespace
}  // namespace varnel
