// Whole-string wildcard patterns of the node and message filters, compiled once for many
// matches.
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
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace varnel {

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
  // The runs between stars are placed leftmost, one after the other, so the work is at
  // most text length times pattern length, never exponential.
  bool Matches(std::string_view text) const;

 private:
  enum class Kind : std::uint8_t { Literal, Any, Digit, Set, NotSet };
  struct Token {
    Kind kind;
    char32_t ch;             // Literal (folded in text mode)
    std::uint32_t setBegin;  // Set/NotSet: ranges_[setBegin, setEnd)
    std::uint32_t setEnd;
  };
  struct Range {
    char32_t lo, hi;
  };
  // A run of one-character tokens between stars. Its leading ASCII literals are also kept
  // as bytes (lower case in text mode), so they are compared and searched bytewise.
  struct Segment {
    std::uint32_t begin, end;  // tokens_[begin, end)
    std::string prefix;
  };
  bool TokenMatches(const Token& t, char32_t c) const;
  bool InSet(const Token& t, char32_t c) const;
  std::size_t FindPrefix(const Segment& s, std::string_view text, std::size_t from) const;
  bool MatchAt(const Segment& s, std::string_view text, std::size_t at, std::size_t& end) const;
  bool Find(const Segment& s, std::string_view text, std::size_t from, std::size_t& end) const;

  CaseMode mode_ = CaseMode::Binary;
  std::vector<Token> tokens_;
  std::vector<Range> ranges_;
  std::vector<Segment> segments_;
  std::size_t minChars_ = 0;  // characters that the tokens need
  bool hasStar_ = false;
  bool leadingStar_ = false;
  bool trailingStar_ = false;
  std::string error_;
};

// Matches text against pattern once; raises VarnelError 93 for a malformed pattern.
bool WildcardMatch(std::string_view text, std::string_view pattern, CaseMode mode);

// Compiled patterns by their text, so that repeated compares of the same filter compile it
// only once. Bounded: when full it starts again from empty.
class PatternCache {
 public:
  // The compiled pattern; valid until the next call.
  const WildcardPattern& Get(std::string_view pattern, CaseMode mode);

 private:
  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  static constexpr std::size_t kMaxEntries = 512;
  std::unordered_map<std::string, WildcardPattern, Hash, std::equal_to<>> compiled_[2];
};

// Case folding used by text comparison (exposed for the tests and other text compares).
char32_t FoldLower(char32_t c);
char32_t FoldUpper(char32_t c);

}  // namespace varnel
