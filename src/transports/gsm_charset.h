// GSM 03.38 character conversion in both directions and SMS-SUBMIT PDU coding (GSM 03.40)
// for outgoing SMS.
#pragma once
#include <string>

namespace varnel {

// Converts a text to GSM default alphabet values (one char per septet, values 0..127).
// Only the fifteen national characters of the table are mapped; other codes 128..255 and
// characters without a Windows-1252 code become a space.
std::string GSM338Default7Bit(const std::string& text);
// As GSM338Default7Bit, and the ASCII characters of the extension table become ESC pairs;
// the code-page 437 codes of the national letters are read as those letters.
std::string GSM338Default7BitExt(const std::string& text);

// SMS-SUBMIT TPDU (hex, no service centre field) with DCS 00: the converted text's septets
// packed seven to eight, addressed to phone as an international number.
std::string CodeMessageToEtsiPduMode(const std::string& converted, const std::string& phone);
// SMS-SUBMIT TPDU with DCS 08: the text as UCS-2 (UTF-16 big-endian).
std::string CodeMessageToUniCodePduMode(const std::string& text, const std::string& phone);

// GSM default alphabet values (one char each) to text: the national characters of the
// table become their Windows-1252 letters, ESC pairs their extension characters.
std::string IA5defIncom(const std::string& gsm);

// Two upper-case hex digits of a value (more when it needs them).
std::string Hex2(unsigned value);
// Semi-octet digits of a phone number: pairs swapped, an odd last digit completed with F.
std::string SwapSemiOctets(const std::string& digits);

}  // namespace varnel
