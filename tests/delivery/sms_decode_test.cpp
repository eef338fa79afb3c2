#include "delivery/sms_decode.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/error.h"

namespace varnel {
namespace {

using ::testing::ElementsAre;

// SMS-DELIVER PDUs made by python-gammu (an independent codec), service centre field first.
const std::string kAck = "059164070000000B916407214365F700004210203040500007C1E1129483C500";
const std::string kSeven = "059164070000000791640721F30000421020304050000761F1985C369F01";
const std::string kSevenAt = "059164070000000791640721F30000421020304050000861F1985C369F01";
const std::string kExtended =
    "059164070000000791640721F300004210203040500018C8B21AE4988759203E1BB4E1BDD71B1F68F3026DCA";
const std::string kUcs2 = "059164070000000791640721F30008421020304050000A00480069002000E420AC";
const std::string kControls = "0181000791640721F300004210203040500005E19F583106";
const std::string kAlphaSender = "0181000AD0417658DE0600004210203040500005E8329BFD06";
const std::string kConcatenated =
    "0181400791640721F30000421020304050000F050003AB0201E061391DF4769701";

ReceivedSms Decode(const std::string& withSmsc) {
  return DecodeSmsDeliver(StripSmscField(withSmsc));
}

TEST(DecodeSmsDeliver, SenderAndTextOfGsm7BitMessages) {
  ReceivedSms a = Decode(kAck);
  EXPECT_EQ(a.number, "46701234567");  // odd length: the F filler is gone
  EXPECT_EQ(a.text, "ACK 901");
  // Exactly seven characters do not gain a commercial at; a real eighth "@" stays.
  EXPECT_EQ(Decode(kSeven).text, "abcdefg");
  EXPECT_EQ(Decode(kSevenAt).text, "abcdefg@");
  EXPECT_EQ(Decode(kExtended).text, "Hej Åsa, öl [ok] \\ €");
}

TEST(DecodeSmsDeliver, OtherAlphabetsHeadersAndSenders) {
  EXPECT_EQ(Decode(kUcs2).text, "Hi ä€");
  // 8-bit data: each octet is one character.
  EXPECT_EQ(DecodeSmsDeliver("040791640721F300044210203040500002" "4869").text, "Hi");
  EXPECT_EQ(DecodeSmsDeliver("040791640721F30004421020304050000248E4").text, "Hä");
  // A user data header (a part of a long message) is skipped with its fill bits.
  EXPECT_EQ(Decode(kConcatenated).text, "part one");
  EXPECT_EQ(Decode(kAlphaSender).number, "Alarm");
  // CR, LF and TAB would break the drop-file line: they arrive as blanks. (The GSM alphabet
  // has no TAB; the encoder sent "?" for it.)
  EXPECT_EQ(Decode(kControls).text, "a?b c");
  EXPECT_EQ(DecodeSmsDeliver("040791640721F300044210203040500004610D0A09").text, "a   ");
}

TEST(DecodeSmsDeliver, MalformedPdusRaise) {
  const std::string good = StripSmscField(kSeven);
  EXPECT_NO_THROW(DecodeSmsDeliver(good));
  EXPECT_THROW(DecodeSmsDeliver(good.substr(1)), VarnelError);                // odd length
  EXPECT_THROW(DecodeSmsDeliver("0G" + good.substr(2)), VarnelError);         // bad hex
  EXPECT_THROW(DecodeSmsDeliver(good.substr(0, good.size() - 2)), VarnelError);  // UDL beyond
  EXPECT_THROW(DecodeSmsDeliver("04FF91"), VarnelError);                      // address beyond
  EXPECT_THROW(DecodeSmsDeliver(""), VarnelError);
  EXPECT_THROW(DecodeSmsDeliver("040791640721F300044210203040500005" "4869"), VarnelError);
  // A header longer than the user data.
  EXPECT_THROW(DecodeSmsDeliver("440791640721F3000042102030405000020900"), VarnelError);
}

TEST(IA5defIncom, TableValuesAndEscapes) {
  std::string gsm = {0, 2, 11, 12, 14, 15, 17, 28, 29, 91, 92, 94, 96, 123, 124, 126, 'A'};
  EXPECT_EQ(IA5defIncom(gsm), "@$ØøÅå_ÆæÄÖÜ¨äöüA");
  EXPECT_EQ(IA5defIncom("\x1B/"), "\\");
  EXPECT_EQ(IA5defIncom("\x1B" "e\x1B<\x1B>"), "€[]");
  EXPECT_EQ(IA5defIncom("a\x1B"), "a\x1B");  // a lone escape passes unchanged
  EXPECT_EQ(BinToChr("1000001"), 'A');
  EXPECT_EQ(BinToChr("0000000"), '\0');
}

TEST(StripSmscField, RemovesTheFieldItsLengthAnnounces) {
  EXPECT_EQ(StripSmscField("0791644705109900" "0407"), "0407");
  EXPECT_EQ(StripSmscField("00" "0407"), "0407");
  EXPECT_EQ(StripSmscField("0791"), "");
  EXPECT_EQ(StripSmscField("Z1234"), "");
}

TEST(ParseCmglListing, EntriesInOrderWithTheirIndexes) {
  const std::string reply =
      "AT+CMGL=4\r\r\n+CMGL: 3,1,,23\r\n0011AA\r\n+CMGL: 12,0,,5\r\n0022BB\r\n\r\nOK\r\n";
  auto list = ParseCmglListing(reply, 50);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].index, "3");
  EXPECT_EQ(list[0].pdu, "0011AA");
  EXPECT_EQ(list[1].index, "12");
  EXPECT_EQ(list[1].pdu, "0022BB");
  EXPECT_TRUE(ParseCmglListing("AT+CMGL=4\r\r\nOK\r\n", 50).empty());
  EXPECT_EQ(ParseCmglListing(reply, 1).size(), 1u);
}

TEST(ParseCmglListing, GarbageAndCutOffListingsYieldOnlyWhatWasFullyRead) {
  // An index that is no number is skipped; the other entries stay.
  auto list = ParseCmglListing("+CMGL: x1,0,,2\r\nAA\r\n+CMGL: 4,0,,2\r\nBB\r\nOK\r\n", 50);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].index, "4");
  // A PDU line that the reply does not end is not taken.
  EXPECT_TRUE(ParseCmglListing("+CMGL: 1,0,,2\r\nAABB", 50).empty());
  EXPECT_TRUE(ParseCmglListing("+CMGL: 1,0,,2", 50).empty());
  // A header without a PDU line before the next header.
  list = ParseCmglListing("+CMGL: 1,0,,2\r\n+CMGL: 2,0,,2\r\nCC\r\n", 50);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].index, "2");
  EXPECT_EQ(list[0].pdu, "CC");
}

// Inputs kept from fuzzing, replayed so that a crash once found stays fixed.
TEST(SmsDecodeCorpus, ReplaysWithoutCrashing) {
  namespace fs = std::filesystem;
  fs::path root = fs::path(__FILE__).parent_path().parent_path() / "fuzz" / "corpus";
  int files = 0;
  for (const char* dir : {"pdu_incom", "cmgl_listing"}) {
    if (!fs::exists(root / dir)) continue;
    for (const auto& entry : fs::directory_iterator(root / dir)) {
      std::ifstream in(entry.path(), std::ios::binary);
      std::stringstream data;
      data << in.rdbuf();
      try {
        DecodeSmsDeliver(data.str());
      } catch (const VarnelError&) {
      }
      ParseCmglListing(data.str(), 50);
      ++files;
    }
  }
  EXPECT_GT(files, 0);
}

}  // namespace
}  // namespace varnel
