#include "filter/wildcard.h"

#include "platform/text.h"
#include "service/errors.h"

namespace varnel {
namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
    if (x != y) return false;
  }
  return true;
}

// Position of delimiter in text at or after from, letters compared without regard to case.
std::size_t FindNoCase(std::string_view text, std::string_view delimiter, std::size_t from) {
  if (delimiter.size() > text.size()) return kNone;
  for (std::size_t i = from; i + delimiter.size() <= text.size(); ++i)
    if (EqualsIgnoreAsciiCase(text.substr(i, delimiter.size()), delimiter)) return i;
  return kNone;
}

}  // namespace

FilterParts SplitUp(std::string_view text, std::string_view delimiter) {
  FilterParts parts;
  std::size_t pos = 0;
  for (int n = 0; n < kMaxFilterParts; ++n) {
    std::size_t at = delimiter.empty() ? kNone : FindNoCase(text, delimiter, pos);
    if (at == kNone) {
      parts[n] = Trim(text.substr(pos));
      break;
    }
    parts[n] = Trim(text.substr(pos, at - pos));
    pos = at + delimiter.size();
  }
  return parts;
}

std::string_view FilterDelimiter(const std::string& search) {
  return search == "=" ? "<OR>" : "<AND>";
}

std::string FilterExpressionError(std::string_view expression, const std::string& search,
                                  CaseMode mode) {
  for (const std::string& p : SplitUp(expression, FilterDelimiter(search))) {
    if (p.empty()) continue;
    WildcardPattern compiled(p, mode);
    if (!compiled.Valid()) return "pattern \"" + p + "\": " + compiled.Error();
  }
  return {};
}

PatternList::PatternList(Varnel& ctx, std::string_view expression, const std::string& search,
                         CaseMode mode)
    : equals_(search == "=") {
  for (const std::string& p : SplitUp(expression, FilterDelimiter(search))) {
    if (p.empty()) continue;
    hasPatterns_ = true;
    WildcardPattern compiled(p, mode);
    if (compiled.Valid())
      patterns_.push_back(std::move(compiled));
    else
      StringCompare(ctx, "", compiled);  // reports it under the compare's name
  }
}

bool PatternList::Holds(std::string_view text) const {
  if (!hasPatterns_) return false;
  for (const WildcardPattern& p : patterns_)
    if (p.Matches(text)) return equals_;
  return !equals_;
}

bool StringCompare(Varnel& ctx, std::string_view text, const WildcardPattern& pattern) {
  if (pattern.Valid()) return pattern.Matches(text);
  ReportError(ctx, pattern.Mode() == CaseMode::Text ? "StringCompareText" : "StringCompareBin",
              kInvalidPattern, pattern.Error());
  return false;
}

static PatternCache& Patterns(Varnel& ctx) {
  if (!ctx.filter.Patterns) ctx.filter.Patterns = std::make_shared<PatternCache>();
  return *ctx.filter.Patterns;
}

bool StringCompareText(Varnel& ctx, std::string_view text, std::string_view pattern) {
  return StringCompare(ctx, text, Patterns(ctx).Get(pattern, CaseMode::Text));
}

bool StringCompareBin(Varnel& ctx, std::string_view text, std::string_view pattern) {
  return StringCompare(ctx, text, Patterns(ctx).Get(pattern, CaseMode::Binary));
}

}  // namespace varnel
