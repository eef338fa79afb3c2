#include "transports/ansi_text.h"

#include "platform/text.h"

namespace varnel {

int AnsiCode(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
  for (unsigned b = 0x80; b < 0xA0; ++b)
    if (Cp1252CodePoint(static_cast<unsigned char>(b)) == cp) return static_cast<int>(b);
  return -1;
}

std::vector<int> AnsiCodes(std::string_view text, int unknown) {
  std::vector<int> out;
  for (char32_t cp : CodePoints(text)) {
    int c = AnsiCode(cp);
    out.push_back(c < 0 ? unknown : c);
  }
  return out;
}

std::string AnsiChar(int code) {
  return Utf8Of(Cp1252CodePoint(static_cast<unsigned char>(code & 0xFF)));
}

std::string ToAnsiBytes(std::string_view text) {
  std::string out;
  for (int c : AnsiCodes(text, '?')) out += static_cast<char>(c);
  return out;
}

std::string UpperCase(std::string_view text) {
  std::string out;
  for (char32_t cp : CodePoints(text)) {
    if ((cp >= 'a' && cp <= 'z') || (cp >= 0xE0 && cp <= 0xFE && cp != 0xF7)) cp -= 32;
    out += Utf8Of(cp);
  }
  return out;
}

}  // namespace varnel
