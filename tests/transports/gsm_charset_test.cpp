#include "transports/gsm_charset.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/error.h"

namespace varnel {
namespace {

std::vector<int> Values(const std::string& s) {
  std::vector<int> v;
  for (unsigned char c : s) v.push_back(c);
  return v;
}

TEST(GsmConversion, NationalCharactersAndSignsMapToTheDefaultAlphabet) {
  EXPECT_EQ(Values(GSM338Default7Bit("Ärende_12$")),
            (std::vector<int>{91, 114, 101, 110, 100, 101, 17, 49, 50, 2}));
  EXPECT_EQ(Values(GSM338Default7Bit("@ÅåÆæÖöØøÜüä")),
            (std::vector<int>{0, 14, 15, 28, 29, 92, 124, 11, 12, 94, 126, 123}));
  // ASCII passes unchanged, including the characters the default alphabet shows otherwise.
  EXPECT_EQ(GSM338Default7Bit("[x]{}~"), "[x]{}~");
}

TEST(GsmConversion, UnknownHighCharactersBecomeSpacesNeverQuestionMarks) {
  // é and € have Windows-1252 codes the table does not know; 中 has none at all.
  EXPECT_EQ(GSM338Default7Bit("é€中ß"), "    ");
  EXPECT_EQ(GSM338Default7BitExt("é€中"), "   ");
  // Bytes that are not UTF-8 count as Windows-1252: 0xC4 is Ä.
  EXPECT_EQ(Values(GSM338Default7Bit("\xC4")), (std::vector<int>{91}));
}

TEST(GsmConversion, ExtendedTableEscapesAndCodePage437Letters) {
  EXPECT_EQ(Values(GSM338Default7BitExt("[x]")), (std::vector<int>{27, 60, 120, 27, 62}));
  EXPECT_EQ(Values(GSM338Default7BitExt("\\^{|}~`")),
            (std::vector<int>{27, 47, 27, 20, 27, 40, 27, 64, 27, 41, 27, 61, 96}));
  // Windows-1252 characters with the code-page 437 codes of Ä Å Ö ä å ö (142 143 153 132
  // 134 148) are read as those letters.
  EXPECT_EQ(Values(GSM338Default7BitExt("Ž™„†”")), (std::vector<int>{91, 92, 123, 15, 124}));
  EXPECT_EQ(Values(GSM338Default7BitExt("\x8F")), (std::vector<int>{14}));
}

TEST(EtsiPdu, SeptetsArePackedAndTheAddressIsSwapped) {
  EXPECT_EQ(CodeMessageToEtsiPduMode("hellohello", "46700"),
            "010005916407F000000AE8329BFD4697D9EC37");
  // The escape pairs of [x] count as septets: UDL 05.
  std::string pdu = CodeMessageToEtsiPduMode(GSM338Default7BitExt("[x]"), "46700");
  EXPECT_EQ(pdu.substr(18, 2), "05");
  EXPECT_EQ(pdu.substr(20), "1B1E7EE303");
  // Empty text: UDL 00, no user data.
  EXPECT_EQ(CodeMessageToEtsiPduMode("", "46700"), "010005916407F0000000");
}

TEST(EtsiPdu, PhoneLengthOddGetsFillerEvenDoesNot) {
  EXPECT_EQ(CodeMessageToEtsiPduMode("a", "4670123").substr(4, 12), "0791640721F3");
  EXPECT_EQ(CodeMessageToEtsiPduMode("a", "46701234").substr(4, 12), "089164072143");
  // A leading "+" is the international type the field has anyway, not a digit.
  EXPECT_EQ(CodeMessageToEtsiPduMode("a", "+4670123"), CodeMessageToEtsiPduMode("a", "4670123"));
}

TEST(EtsiPdu, EightSeptetsFillSevenOctets) {
  // Seven characters leave one free septet in the seventh octet; eight fill it.
  std::string seven = CodeMessageToEtsiPduMode("abcdefg", "1");
  std::string eight = CodeMessageToEtsiPduMode("abcdefgh", "1");
  EXPECT_EQ(seven.substr(seven.size() - 14), "61F1985C369F01");
  EXPECT_EQ(eight.substr(eight.size() - 14), "61F1985C369FD1");
}

TEST(UniCodePdu, TextBecomesBigEndianUcs2) {
  EXPECT_EQ(CodeMessageToUniCodePduMode("Hi", "46700"), "010005916407F0000804" "00480069");
  EXPECT_EQ(CodeMessageToUniCodePduMode("ä€", "1").substr(14), "0400E420AC");
  // Outside the BMP: a surrogate pair.
  EXPECT_EQ(CodeMessageToUniCodePduMode("😀", "1").substr(14), "04D83DDE00");
}

TEST(BitStrings, HexToBinAndBinToDec) {
  EXPECT_EQ(HexToBin("A"), "00001010");
  EXPECT_EQ(HexToBin("f0"), "11110000");
  EXPECT_EQ(HexToBin("7E"), "01111110");
  EXPECT_THROW(HexToBin("G1"), VarnelError);
  EXPECT_THROW(HexToBin("123"), VarnelError);
  EXPECT_EQ(BinToDec("11111111"), 255);
  EXPECT_EQ(BinToDec("101"), 5);
  EXPECT_EQ(BinToDec(""), 0);
}

}  // namespace
}  // namespace varnel
