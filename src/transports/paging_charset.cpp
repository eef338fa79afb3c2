#include "transports/paging_charset.h"

#include <cctype>
#include <string_view>

#include "transports/ansi_text.h"
#include "transports/gsm_charset.h"

namespace varnel {
namespace {

// The letters the TAP and ESPA tables convert: Windows-1252 code, IA5 (GSM 03.38 position)
// and code page 437 values (a space where the page has no such letter).
struct PagingChar {
  int code;
  int ia5;
  int cp437;
};
constexpr PagingChar kPagingChars[] = {
    {163, 1, 156},   {232, 4, 138},   {233, 5, 130},   {249, 6, 151},  {236, 7, 141},
    {199, 9, 128},   {216, 11, 'O'},  {248, 12, 'o'},  {197, 14, 143}, {229, 15, 134},
    {198, 28, 146},  {230, 29, 145},  {223, 30, ' '},  {201, 31, 144}, {196, 91, 142},
    {214, 92, 153},  {209, 93, 165},  {220, 94, 154},  {167, 95, ' '}, {228, 123, 132},
    {246, 124, 148}, {241, 125, 164}, {252, 126, 129}, {224, 127, 133}};

// Code-page 437 codes of Å å Ä Ö ä ö that the Swedish table also takes as the letters.
constexpr int kSwedish437[][2] = {{143, 197}, {134, 229}, {142, 196},
                                  {153, 214}, {132, 228}, {148, 246}};

// The UCP values where they differ from the character's own code.
constexpr int kUcpChars[][2] = {
    {'$', 0x02}, {'@', 0x00}, {'[', 0x28}, {'{', 0x28}, {'\\', 0x2F}, {'|', 0x2F}, {']', 0x29},
    {'}', 0x29}, {163, 0x01}, {167, 0x5F}, {196, 0x5B}, {197, 0x0E},  {198, 0x1C}, {201, 0x1F},
    {209, 0x5D}, {214, 0x5C}, {216, 0x0B}, {220, 0x5E}, {224, 0x7F},  {228, 0x7B}, {229, 0x0F},
    {230, 0x1D}, {232, 0x04}, {233, 0x05}, {236, 0x07}, {241, 0x7D},  {242, 0x08}, {246, 0x7C},
    {248, 0x0C}, {249, 0x06}, {252, 0x7E}};
// Characters of a TAP reply that frame it rather than say something.
constexpr std::string_view kTapFraming = "\r\n\x06\x15\x1E\x04\x1B";

const PagingChar* Find(int code) {
  for (const PagingChar& c : kPagingChars)
    if (c.code == code) return &c;
  return nullptr;
}

int Unlisted(int code) { return code < 128 ? code : ' '; }

template <class Map>
std::string Convert(const std::string& text, Map map) {
  std::string out;
  for (int code : AnsiCodes(text, 128)) out += static_cast<char>(map(code));
  return out;
}

bool UcpOwnCode(int c) { return (c >= 33 && c <= 35) || (c >= 37 && c <= 63) || std::isalpha(c); }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

}  // namespace

std::string IA5IntTAP(const std::string& text) {
  return Convert(text, [](int code) {
    const PagingChar* c = Find(code);
    return c ? c->ia5 : Unlisted(code);
  });
}

std::string IA5SweTAP(const std::string& text) {
  return Convert(text, [](int code) {
    for (const auto& [page437, letter] : kSwedish437)
      if (code == page437) code = letter;
    const PagingChar* c = Find(code);
    return c ? c->ia5 : Unlisted(code);
  });
}

std::string ANSItoASCII(const std::string& text) {
  return Convert(text, [](int code) {
    const PagingChar* c = Find(code);
    return c ? c->cp437 : Unlisted(code);
  });
}

std::string IA5IntTAP_Rev(const std::string& bytes) {
  std::string out;
  for (char ch : bytes) {
    if (kTapFraming.find(ch) != std::string_view::npos) continue;
    int b = static_cast<unsigned char>(ch);
    int code = b;
    for (const PagingChar& c : kPagingChars)
      if (c.ia5 == b) code = c.code;
    out += AnsiChar(code);
  }
  return out;
}

std::string IA5IntUCP(const std::string& text) {
  std::string out;
  for (int code : AnsiCodes(text, 128)) {
    int value = UcpOwnCode(code) ? code : 0x20;
    for (const auto& [from, to] : kUcpChars)
      if (from == code) value = to;
    out += Hex2(static_cast<unsigned>(value));
  }
  return out;
}

std::string IA5IntUCP_Rev(const std::string& hex) {
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    int hi = HexValue(hex[i]), lo = HexValue(hex[i + 1]);
    if (hi < 0 || lo < 0) continue;
    int value = hi * 16 + lo, code = value;
    // The letters read back; of the ASCII pairs only @ and $ (the brackets stay brackets).
    for (const auto& [letter, ucp] : kUcpChars)
      if (ucp == value && (letter >= 128 || letter == '@' || letter == '$')) code = letter;
    out += AnsiChar(code);
  }
  return out;
}

}  // namespace varnel
