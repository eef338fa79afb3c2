#include "transports/gsm_charset.h"

#include <vector>

#include "platform/text.h"
#include "transports/ansi_text.h"

namespace varnel {
namespace {

// The default alphabet's characters whose values differ from their Windows-1252 codes, in
// both directions. Incoming text knows a few more than the outgoing conversion does.
struct GsmChar {
  int value;  // septet value; for the extension table the value after ESC
  int code;   // Windows-1252 code
  bool sent;  // false: only read from received messages
};

constexpr GsmChar kNational[] = {
    {0, '@', true},    {2, '$', true},    {11, 0xD8, true},  {12, 0xF8, true},
    {14, 0xC5, true},  {15, 0xE5, true},  {17, '_', true},   {28, 0xC6, true},
    {29, 0xE6, true},  {91, 0xC4, true},  {92, 0xD6, true},  {94, 0xDC, true},
    {96, 0xA8, false}, {123, 0xE4, true}, {124, 0xF6, true}, {126, 0xFC, true}};

constexpr GsmChar kExtension[] = {
    {10, 0x0C, false}, {20, '^', true}, {40, '{', true}, {41, '}', true}, {47, '\\', true},
    {60, '[', true},   {61, '~', true}, {62, ']', true}, {64, '|', true}, {101, 0x80, false}};

// The table value of a character code (outgoing), or -1.
template <std::size_t N>
int ValueOf(const GsmChar (&table)[N], int code) {
  for (const GsmChar& c : table)
    if (c.sent && c.code == code) return c.value;
  return -1;
}

// The character code of a table value (incoming), or -1.
template <std::size_t N>
int CodeOf(const GsmChar (&table)[N], int value) {
  for (const GsmChar& c : table)
    if (c.value == value) return c.code;
  return -1;
}

int DefaultValue(int code) {
  int v = ValueOf(kNational, code);
  if (v >= 0) return v;
  return code < 128 ? code : 32;
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
    int ext = ValueOf(kExtension, code);
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
  return "0100" + DaField(phone) + "0000" + Hex2(static_cast<unsigned>(septets.size())) + userData;
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

std::string IA5defIncom(const std::string& gsm) {
  std::string out;
  for (std::size_t i = 0; i < gsm.size(); ++i) {
    int v = static_cast<unsigned char>(gsm[i]);
    if (v == 27 && i + 1 < gsm.size()) {
      const int code = CodeOf(kExtension, static_cast<unsigned char>(gsm[i + 1]));
      if (code >= 0) {
        out += AnsiChar(code);
        ++i;
        continue;
      }
    }
    const int code = CodeOf(kNational, v);
    out += AnsiChar(code >= 0 ? code : v);
  }
  return out;
}

}  // namespace varnel
