// Whole-string wildcard patterns of the node and message filters, and the splitting of a
// filter expression into its patterns.
//
// Pattern language (the whole text must match the whole pattern):
//   ?        any one character          *        any run of characters, also none
//   #        one digit 0-9              [list]   one character of the list
//   [!list]  one character not in the list
// A list holds characters and ranges ("a-z"); a hyphen first or last in a list is literal.
// "[", "?", "#" and "*" are literal inside a list ("[*]" matches "*"); "]" is literal outside
// one. "[]" matches no character at all, "[!]" any one character. An unclosed "[" and a
// descending range ("[z-a]") make the pattern malformed.
//
// Characters are UTF-8 code points; a byte that is not valid UTF-8 is a character of its own.
// Text comparison folds the letters of Latin-1 and Windows-1252 (A-Z, À-Þ, Š Œ Ž Ÿ) to their
// other case; binary comparison compares code points.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "service/varnel.h"

namespace varnel {

constexpr int kMaxFilterParts = 10;
// The patterns of a filter expression; parts[0] is pattern 1. Unused parts are empty.
using FilterParts = std::array<std::string, kMaxFilterParts>;

// Splits text at delimiter (found in any letter case, so "<or>" splits like "<OR>") into at
// most ten trimmed parts; text after the tenth delimiter is ignored.
FilterParts SplitUp(std::string_view text, std::string_view delimiter);

enum class CaseMode { Binary, Text };

// Error number and text of a malformed pattern.
constexpr int kInvalidPattern = 93;
inline constexpr const char* kInvalidPatternText = "Invalid pattern string";

// A pattern compiled once for many matches. Compiling never throws: a malformed pattern
// is kept with its error, and Matches() on it raises that error.
class WildcardPattern {
 public:
  WildcardPattern() = default;
  WildcardPattern(std::string_view pattern, CaseMode mode);

  bool Valid() const { return error_.empty(); }
  const std::string& Error() const { return error_; }
  CaseMode Mode() const { return mode_; }

  // True when the whole text matches. Raises VarnelError 93 for a malformed pattern.
  // Linear in the text for each star; never backtracks past the last star.
  bool Matches(std::string_view text) const;

 private:
  enum class Kind : std::uint8_t { Literal, Any, Digit, Set, NotSet, Star };
  struct Token {
    Kind kind;
    char32_t ch;             // Literal (folded in text mode)
    std::uint32_t setBegin;  // Set/NotSet: ranges_[setBegin, setEnd)
    std::uint32_t setEnd;
  };
  struct Range {
    char32_t lo, hi;
  };
  bool TokenMatches(const Token& t, char32_t c) const;
  bool InSet(const Token& t, char32_t c) const;

  CaseMode mode_ = CaseMode::Binary;
  std::vector<Token> tokens_;
  std::vector<Range> ranges_;
  std::size_t minChars_ = 0;  // characters that the non-star tokens need
  bool hasStar_ = false;
  std::string error_;
};

// Matches text against pattern once; raises VarnelError 93 for a malformed pattern.
bool WildcardMatch(std::string_view text, std::string_view pattern, CaseMode mode);

// The filter compares. A malformed pattern is reported by the error convention under the
// procedure's name and counts as no match.
bool StringCompareText(Varnel& ctx, std::string_view text, std::string_view pattern);
bool StringCompareBin(Varnel& ctx, std::string_view text, std::string_view pattern);

// The same compare with a pattern compiled beforehand (for loops over many texts); reports
// a malformed pattern under "StringCompareText" or "StringCompareBin" by its mode.
bool StringCompare(Varnel& ctx, std::string_view text, const WildcardPattern& pattern);

// Case folding used by text comparison (exposed for the tests and other text compares).
char32_t FoldLower(char32_t c);
char32_t FoldUpper(char32_t c);

}  // namespace varnel
