#include "platform/text.h"

#include <cctype>

namespace varnel {
namespace {

// Length of the valid UTF-8 sequence at s[i], or 0 when the bytes there are not valid UTF-8.
std::size_t Utf8SeqLen(std::string_view s, std::size_t i) {
  auto b = static_cast<unsigned char>(s[i]);
  std::size_t len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
  if (len == 0 || i + len > s.size()) return 0;
  for (std::size_t k = 1; k < len; ++k)
    if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 0;
  return len;
}

std::size_t CharStep(std::string_view s, std::size_t i) {
  std::size_t n = Utf8SeqLen(s, i);
  return n == 0 ? 1 : n;
}

// Byte offset of the character with 0-based index n (or s.size()).
std::size_t ByteOffset(std::string_view s, std::size_t n) {
  std::size_t i = 0;
  while (n > 0 && i < s.size()) {
    i += CharStep(s, i);
    --n;
  }
  return i;
}

// Windows-1252 code points of bytes 0x80..0x9F (undefined ones map to themselves).
const char32_t kCp1252High[32] = {0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x8D,   0x017D, 0x8F,
                                  0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};

bool IsAscii(std::string_view s) {
  unsigned char any = 0;
  for (char c : s) any |= static_cast<unsigned char>(c);
  return any < 0x80;
}

}  // namespace

std::size_t CharLength(std::string_view s) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < s.size(); i += CharStep(s, i)) ++n;
  return n;
}

std::string LeftChars(std::string_view s, long n) {
  if (n <= 0) return {};
  // A character has at least one byte: a text of no more bytes than n is whole.
  if (s.size() <= static_cast<std::size_t>(n)) return std::string(s);
  return std::string(s.substr(0, ByteOffset(s, static_cast<std::size_t>(n))));
}

std::string MidChars(std::string_view s, long start, long n) {
  if (start < 1) start = 1;
  std::size_t from = ByteOffset(s, static_cast<std::size_t>(start - 1));
  std::string_view rest = s.substr(from);
  return n < 0 ? std::string(rest) : LeftChars(rest, n);
}

std::string RightChars(std::string_view s, long n) {
  long len = static_cast<long>(CharLength(s));
  if (n >= len) return std::string(s);
  return MidChars(s, len - n + 1);
}

std::string Trim(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return std::string(s.substr(b, e - b));
}

std::string ToUpper(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return r;
}

std::string ToLower(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return r;
}

std::string FromWire(std::string_view bytes) {
  if (IsAscii(bytes)) return std::string(bytes);
  std::string out;
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size();) {
    std::size_t n = Utf8SeqLen(bytes, i);
    if (n > 0) {
      out.append(bytes.substr(i, n));
      i += n;
      continue;
    }
    out += Utf8Of(Cp1252CodePoint(static_cast<unsigned char>(bytes[i++])));
  }
  return out;
}

std::string FromCp437Letters(std::string_view bytes) {
  struct Letter {
    unsigned char code;
    const char* utf8;
  };
  static const Letter kLetters[] = {{143, "Å"}, {142, "Ä"}, {153, "Ö"},
                                    {134, "å"}, {132, "ä"}, {148, "ö"}};
  // These codes are never the first byte of a UTF-8 character, so the letters can be put in
  // as UTF-8 first and FromWire still reads the remaining bytes as before.
  std::string mixed;
  mixed.reserve(bytes.size());
  for (char c : bytes) {
    const Letter* hit = nullptr;
    for (const Letter& l : kLetters)
      if (static_cast<unsigned char>(c) == l.code) hit = &l;
    if (hit)
      mixed += hit->utf8;
    else
      mixed += c;
  }
  return FromWire(mixed);
}

char32_t Cp1252CodePoint(unsigned char byte) {
  return byte >= 0x80 && byte < 0xA0 ? kCp1252High[byte - 0x80] : byte;
}

std::u32string CodePoints(std::string_view text) {
  std::u32string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t len = Utf8SeqLen(text, i);
    const auto b = static_cast<unsigned char>(text[i]);
    if (len == 0) {
      out += Cp1252CodePoint(b);
      ++i;
      continue;
    }
    char32_t cp = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
    for (std::size_t k = 1; k < len; ++k)
      cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    out += cp;
    i += len;
  }
  return out;
}

std::string Utf8Of(char32_t cp) {
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
  std::string out;
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
  return out;
}

}  // namespace varnel
