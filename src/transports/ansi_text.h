// Characters by their 8-bit Windows-1252 code, as the wire protocols and the GSM tables
// count them, and the conversions between UTF-8 texts and such codes.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace varnel {

// Windows-1252 code of a code point, or -1 when the character has none.
int AnsiCode(char32_t cp);
// The codes of a text's characters; a character without one gives unknown.
std::vector<int> AnsiCodes(std::string_view text, int unknown);
// UTF-8 of the character with Windows-1252 code 0..255.
std::string AnsiChar(int code);

// Wire bytes of a text, one byte per character; characters without a code become "?".
std::string ToAnsiBytes(std::string_view text);

// Upper case of the Latin letters (ASCII and Latin-1), other characters unchanged.
std::string UpperCase(std::string_view text);

}  // namespace varnel
