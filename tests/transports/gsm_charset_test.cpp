#include "transports/gsm_charset.h"

#include <gtest/gtest.h>

#include <vector>

namespace varnel {
namespace {

std::vector<int> Values(const std::string& s) { return {s.begin(), s.end()}; }

// Which GSM characters the texts become is checked against an independent codec end to end;
// these are the vectors and edges that check does not reach.
TEST(GsmConversion, NationalCharactersSignsAndUnknownCharacters) {
  EXPECT_EQ(Values(GSM338Default7Bit("Ärende_12$")),
            (std::vector<int>{91, 114, 101, 110, 100, 101, 17, 49, 50, 2}));
  // ASCII passes the default table unchanged; the extended one escapes the brackets.
  EXPECT_EQ(GSM338Default7Bit("[x]{}~"), "[x]{}~");
  EXPECT_EQ(Values(GSM338Default7BitExt("[x]")), (std::vector<int>{27, 60, 120, 27, 62}));
  // Unknown high characters become spaces, never question marks: é and € have
  // Windows-1252 codes the tables do not know, 中 has none at all.
  EXPECT_EQ(GSM338Default7Bit("é€中ß"), "    ");
  EXPECT_EQ(GSM338Default7BitExt("é€中"), "   ");
  // Bytes that are not UTF-8 count as Windows-1252: 0xC4 is Ä.
  EXPECT_EQ(Values(GSM338Default7Bit("\xC4")), (std::vector<int>{91}));
}

TEST(EtsiPdu, SeptetsArePackedAndThePhoneIsSwapped) {
  EXPECT_EQ(CodeMessageToEtsiPduMode("hellohello", "46700"),
            "010005916407F000000AE8329BFD4697D9EC37");
  // The escape pairs of [x] count as septets: UDL 05.
  std::string pdu = CodeMessageToEtsiPduMode(GSM338Default7BitExt("[x]"), "46700");
  EXPECT_EQ(pdu.substr(18), "051B1E7EE303");
  // Odd phone lengths get the F filler, even ones do not; a leading "+" is no digit.
  EXPECT_EQ(CodeMessageToEtsiPduMode("a", "4670123").substr(4, 12), "0791640721F3");
  EXPECT_EQ(CodeMessageToEtsiPduMode("a", "46701234").substr(4, 12), "089164072143");
  EXPECT_EQ(CodeMessageToEtsiPduMode("a", "+4670123"), CodeMessageToEtsiPduMode("a", "4670123"));
}

TEST(UniCodePdu, TextBecomesBigEndianUcs2) {
  EXPECT_EQ(CodeMessageToUniCodePduMode("Hi", "46700"), "010005916407F0000804" "00480069");
  // Outside the BMP: a surrogate pair.
  EXPECT_EQ(CodeMessageToUniCodePduMode("😀", "1").substr(14), "04D83DDE00");
}

}  // namespace
}  // namespace varnel
