// UTF-8 aware text helpers: lengths and cuts count characters, never bytes.
#pragma once
#include <string>
#include <string_view>

namespace varnel {

// Number of characters in a UTF-8 string (invalid bytes count as one each).
std::size_t CharLength(std::string_view s);
// The first n characters of s (Left$); never splits a character.
std::string LeftChars(std::string_view s, long n);
// Characters from the 1-based position start, at most n of them (Mid$); n < 0 means to the end.
std::string MidChars(std::string_view s, long start, long n = -1);
// The last n characters of s (Right$).
std::string RightChars(std::string_view s, long n);

std::string Trim(std::string_view s);     // blanks and tabs at both ends
std::string ToUpper(std::string_view s);  // ASCII letters only
std::string ToLower(std::string_view s);

// Bytes that are not valid UTF-8 are read as Windows-1252 and re-encoded.
std::string FromWire(std::string_view bytes);
// Text of bytes from a code page 437 device whose Swedish letters Å Ä Ö å ä ö arrive as
// their code page 437 codes; every other byte is read as FromWire does.
std::string FromCp437Letters(std::string_view bytes);
// The code point of a Windows-1252 byte (the five undefined ones map to themselves).
char32_t Cp1252CodePoint(unsigned char byte);
// Unicode code points of a text; bytes that are not UTF-8 are read as Windows-1252.
std::u32string CodePoints(std::string_view text);
// UTF-8 of one code point (surrogates and values past U+10FFFF as U+FFFD).
std::string Utf8Of(char32_t cp);

}  // namespace varnel
