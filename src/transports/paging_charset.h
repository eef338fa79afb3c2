// Character tables of the paging protocols: the TAP and ESPA conversions to wire bytes
// (IA5 by GSM 03.38 positions, code page 437), UCP's two-hex-digit coding, and the reverse
// readings that turn a centre's reply into readable text.
#pragma once
#include <string>

namespace varnel {

// Text to wire bytes, one byte per character. The national letters become their GSM 03.38
// positions; other codes 128..255 become a space, codes below 128 pass unchanged.
std::string IA5IntTAP(const std::string& text);
// As IA5IntTAP, and the code-page 437 codes of Å å Ä Ö ä ö are read as those letters.
std::string IA5SweTAP(const std::string& text);
// Text to code page 437 bytes; letters the page lacks become a plain letter or a space.
std::string ANSItoASCII(const std::string& text);
// Wire bytes of a TAP reply to text: the national letters read back, and the framing
// characters of the line (CR, LF, ACK, NAK, RS, EOT, ESC) dropped.
std::string IA5IntTAP_Rev(const std::string& bytes);

// Text to UCP message hex, two upper-case digits per character.
std::string IA5IntUCP(const std::string& text);
// UCP message hex to text; a pair that is not hex is skipped.
std::string IA5IntUCP_Rev(const std::string& hex);

}  // namespace varnel
