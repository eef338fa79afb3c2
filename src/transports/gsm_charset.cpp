#include "transports/gsm_charset.h"

#include <vector>

#include "platform/error.h"
#include "transports/ansi_text.h"

namespace varnel {
namespace {

// The national characters of the default alphabet that the conversion knows.
int NationalValue(int code) {
  switch (code) {
    case 64: return 0;     // @
    case 36: return 2;     // $
    case 95: return 17;    // _
    case 196: return 91;   // Ä
    case 197: return 14;   // Å
    case 198: return 28;   // Æ
    case 214: return 92;   // Ö
    case 216: return 11;   // Ø
    case 220: return 94;   // Ü
    case 228: return 123;  // ä
    case 229: return 15;   // å
    case 230: return 29;   // æ
    case 246: return 124;  // ö
    case 248: return 12;   // ø
    case 252: return 126;  // ü
    default: return -1;
  }
}

int DefaultValue(int code) {
  int v = NationalValue(code);
  if (v >= 0) return v;
  return code < 128 ? code : 32;
}

// Extension-table value of an ASCII character, or -1.
int ExtensionValue(int code) {
  switch (code) {
    case '[': return 60;
    case '\\': return 47;
    case ']': return 62;
    case '^': return 20;
    case '{': return 40;
    case '|': return 64;
    case '}': return 41;
    case '~': return 61;
    default: return -1;
  }
}

// Code-page 437 codes of Ä Å Ö ä å ö, read as the letters.
int FromCodePage437(int code) {
  switch (code) {
    case 142: return 196;
    case 143: return 197;
    case 153: return 214;
    case 132: return 228;
    case 134: return 229;
    case 148: return 246;
    default: return code;
  }
}

std::string DaField(const std::string& phone) {
  // The address is always coded as international; a leading "+" is that type, not a digit.
  std::string digits = !phone.empty() && phone[0] == '+' ? phone.substr(1) : phone;
  return Hex2(static_cast<unsigned>(digits.size())) + "91" + SwapSemiOctets(digits);
}

}  // namespace

std::string Hex2(unsigned value) {
  static const char* kDigits = "0123456789ABCDEF";
  std::string out;
  do {
    out.insert(out.begin(), kDigits[value & 15]);
    value >>= 4;
  } while (value);
  if (out.size() == 1) out.insert(out.begin(), '0');
  return out;
}

std::string SwapSemiOctets(const std::string& digits) {
  std::string out;
  for (std::size_t i = 0; i < digits.size(); i += 2) {
    out += i + 1 < digits.size() ? digits[i + 1] : 'F';
    out += digits[i];
  }
  return out;
}

std::string GSM338Default7Bit(const std::string& text) {
  std::string out;
  for (int code : AnsiCodes(text, 128)) out += static_cast<char>(DefaultValue(code));
  return out;
}

std::string GSM338Default7BitExt(const std::string& text) {
  std::string out;
  for (int code : AnsiCodes(text, 128)) {
    code = FromCodePage437(code);
    int ext = ExtensionValue(code);
    if (ext >= 0) {
      out += '\x1B';
      out += static_cast<char>(ext);
    } else {
      out += static_cast<char>(DefaultValue(code));
    }
  }
  return out;
}

std::string CodeMessageToEtsiPduMode(const std::string& converted, const std::string& phone) {
  // Characters above 127 (an unconverted prefix) give their low seven bits.
  std::vector<int> septets = AnsiCodes(converted, 32);
  std::string userData;
  unsigned acc = 0;
  int bits = 0;
  for (int s : septets) {
    acc |= static_cast<unsigned>(s & 0x7F) << bits;
    bits += 7;
    while (bits >= 8) {
      userData += Hex2(acc & 0xFF);
      acc >>= 8;
      bits -= 8;
    }
  }
  if (bits > 0) userData += Hex2(acc & 0xFF);
  return "0100" + DaField(phone) + "0000" + Hex2(static_cast<unsigned>(septets.size())) +
         userData;
}

std::string CodeMessageToUniCodePduMode(const std::string& text, const std::string& phone) {
  std::string userData;
  for (char32_t cp : CodePoints(text)) {
    if (cp >= 0x10000) {
      cp -= 0x10000;
      userData += Hex2(0xD8 | (cp >> 18)) + Hex2((cp >> 10) & 0xFF);
      userData += Hex2(0xDC | ((cp >> 8) & 3)) + Hex2(cp & 0xFF);
    } else {
      userData += Hex2(cp >> 8) + Hex2(cp & 0xFF);
    }
  }
  return "0100" + DaField(phone) + "0008" + Hex2(static_cast<unsigned>(userData.size() / 2)) +
         userData;
}

std::string HexToBin(const std::string& hex) {
  std::string h = hex.size() == 1 ? "0" + hex : hex;
  if (h.size() != 2) throw VarnelError(err::kTypeMismatch, "Type mismatch");
  std::string out;
  for (char c : h) {
    int v = c >= '0' && c <= '9'   ? c - '0'
            : c >= 'a' && c <= 'f' ? c - 'a' + 10
            : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                   : -1;
    if (v < 0) throw VarnelError(err::kTypeMismatch, "Type mismatch");
    for (int b = 3; b >= 0; --b) out += (v >> b) & 1 ? '1' : '0';
  }
  return out;
}

int BinToDec(const std::string& bits) {
  std::string b = bits.size() < 8 ? std::string(8 - bits.size(), '0') + bits : bits;
  int value = 0;
  for (std::size_t i = 0; i < 8 && i < b.size(); ++i)
    if (b[i] == '1') value += 128 >> i;
  return value;
}

}  // namespace varnel
