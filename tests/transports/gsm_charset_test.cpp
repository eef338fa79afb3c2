#include "transports/gsm_charset.h"

#include <gtest/gtest.h>

namespace varnel {
namespace {

// Which GSM characters texts become, and the PDUs of both codings, are checked against an
// independent codec end to end; these are the inputs that check does not produce.
TEST(GsmCoding, EdgesTheIndependentCodecDoesNotReach) {
  // Bytes that are not UTF-8 count as Windows-1252: 0xC4 is Ä, GSM 91.
  EXPECT_EQ(GSM338Default7Bit("\xC4"), "\x5B");
  // A leading "+" is the number's type, not a digit.
  EXPECT_EQ(CodeMessageToEtsiPduMode("a", "+4670123"), CodeMessageToEtsiPduMode("a", "4670123"));
  // Outside the BMP: a surrogate pair.
  EXPECT_EQ(CodeMessageToUniCodePduMode("😀", "1").substr(14), "04D83DDE00");
  // Received text: ESC pairs outside the outgoing table, and the characters only read.
  EXPECT_EQ(IA5defIncom("\x1B\x65"
                        "\x1B\x0A"
                        "\x60"
                        "\x1B\x41"),
            "€\f¨\x1B"
            "A");
}

}  // namespace
}  // namespace varnel
