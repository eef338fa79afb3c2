// The filter compares of the node and message filters (the pattern language is described
// in filter/wildcard_pattern.h), and the splitting of a filter expression into its patterns.
#pragma once
#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "filter/wildcard_pattern.h"
#include "service/varnel.h"

namespace varnel {

constexpr int kMaxFilterParts = 10;
// The patterns of a filter expression; parts[0] is pattern 1. Unused parts are empty.
using FilterParts = std::array<std::string, kMaxFilterParts>;

// Splits text at delimiter (found in any letter case, so "<or>" splits like "<OR>") into at
// most ten trimmed parts; text after the tenth delimiter is ignored.
FilterParts SplitUp(std::string_view text, std::string_view delimiter);

// The filter compares. A malformed pattern is reported by the error convention under the
// procedure's name and counts as no match. Patterns are compiled once and kept in
// ctx.filter.Patterns, so comparing many texts with the same pattern stays cheap.
bool StringCompareText(Varnel& ctx, std::string_view text, std::string_view pattern);
bool StringCompareBin(Varnel& ctx, std::string_view text, std::string_view pattern);

// The same compare with a pattern compiled beforehand (for loops over many texts); reports
// a malformed pattern under "StringCompareText" or "StringCompareBin" by its mode.
bool StringCompare(Varnel& ctx, std::string_view text, const WildcardPattern& pattern);

// A filter expression split into its patterns (by "<OR>" for the search word "=", by "<AND>"
// otherwise) and compiled once for many texts. "=" holds when one pattern matches, any other
// search word when none does; an expression without patterns never holds. A malformed
// pattern is reported once, when compiled, and then matches nothing.
// The delimiter that splits a filter expression for its search word.
std::string_view FilterDelimiter(const std::string& search);

// The first malformed pattern of a filter expression as PatternList splits it, with the
// reason (pattern "[a": Invalid pattern string); empty when every pattern compiles.
std::string FilterExpressionError(std::string_view expression, const std::string& search,
                                  CaseMode mode);

class PatternList {
 public:
  PatternList(Varnel& ctx, std::string_view expression, const std::string& search, CaseMode mode);
  bool Holds(std::string_view text) const;

 private:
  bool equals_;
  bool hasPatterns_ = false;
  std::vector<WildcardPattern> patterns_;
};

}  // namespace varnel
