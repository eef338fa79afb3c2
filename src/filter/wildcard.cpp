#include "filter/wildcard.h"

#include <cstring>

#include "platform/error.h"
#include "platform/text.h"
#include "service/errors.h"

namespace varnel {
namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// Decodes the character at s[i] and sets len to its byte count. A byte that does not start a
// valid UTF-8 sequence is one character of its own, 0xDC00 + byte, so it only ever equals
// the same stray byte.
inline char32_t Decode(std::string_view s, std::size_t i, std::size_t& len) {
  auto b = static_cast<unsigned char>(s[i]);
  if (b < 0x80) {
    len = 1;
    return b;
  }
  std::size_t n = (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
  if (n != 0 && i + n <= s.size()) {
    char32_t c = n == 2 ? (b & 0x1Fu) : n == 3 ? (b & 0x0Fu) : (b & 0x07u);
    std::size_t k = 1;
    for (; k < n; ++k) {
      auto cb = static_cast<unsigned char>(s[i + k]);
      if ((cb & 0xC0) != 0x80) break;
      c = (c << 6) | (cb & 0x3Fu);
    }
    if (k == n) {
      len = n;
      return c;
    }
  }
  len = 1;
  return 0xDC00 + b;
}

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

char32_t FoldLower(char32_t c) {
  if (c < 0x80) return c >= 'A' && c <= 'Z' ? c + 32 : c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
  switch (c) {
    case 0x152: return 0x153;  // Œ
    case 0x160: return 0x161;  // Š
    case 0x17D: return 0x17E;  // Ž
    case 0x178: return 0xFF;   // Ÿ
    default: return c;
  }
}

char32_t FoldUpper(char32_t c) {
  if (c < 0x80) return c >= 'a' && c <= 'z' ? c - 32 : c;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 32;
  switch (c) {
    case 0x153: return 0x152;
    case 0x161: return 0x160;
    case 0x17E: return 0x17D;
    case 0xFF: return 0x178;
    default: return c;
  }
}

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

WildcardPattern::WildcardPattern(std::string_view pattern, CaseMode mode) : mode_(mode) {
  std::vector<char32_t> p;
  p.reserve(pattern.size());
  for (std::size_t i = 0, len = 0; i < pattern.size(); i += len) p.push_back(Decode(pattern, i, len));

  auto fold = [&](char32_t c) { return mode_ == CaseMode::Text ? FoldLower(c) : c; };
  for (std::size_t i = 0; i < p.size(); ++i) {
    char32_t c = p[i];
    switch (c) {
      case '*':
        // Consecutive stars are one star.
        if (tokens_.empty() || tokens_.back().kind != Kind::Star)
          tokens_.push_back({Kind::Star, 0, 0, 0});
        hasStar_ = true;
        continue;
      case '?':
        tokens_.push_back({Kind::Any, 0, 0, 0});
        break;
      case '#':
        tokens_.push_back({Kind::Digit, 0, 0, 0});
        break;
      case '[': {
        std::size_t j = i + 1;
        bool negated = j < p.size() && p[j] == '!';
        if (negated) ++j;
        auto begin = static_cast<std::uint32_t>(ranges_.size());
        bool closed = false;
        while (j < p.size()) {
          char32_t lo = p[j];
          if (lo == ']') {
            closed = true;
            break;
          }
          char32_t hi = lo;
          if (j + 2 < p.size() && p[j + 1] == '-' && p[j + 2] != ']') {
            hi = p[j + 2];
            if (hi < lo) {
              error_ = kInvalidPatternText;
              return;
            }
            j += 3;
          } else {
            j += 1;
          }
          ranges_.push_back({lo, hi});
        }
        if (!closed) {
          error_ = kInvalidPatternText;
          return;
        }
        i = j;  // at the closing bracket
        auto end = static_cast<std::uint32_t>(ranges_.size());
        if (begin == end) {
          // "[]" stands for no character; "[!]" for any one.
          if (negated) tokens_.push_back({Kind::Any, 0, 0, 0});
          continue;
        }
        tokens_.push_back({negated ? Kind::NotSet : Kind::Set, 0, begin, end});
        break;
      }
      default:
        tokens_.push_back({Kind::Literal, fold(c), 0, 0});
        break;
    }
    ++minChars_;
  }
}

inline bool WildcardPattern::InSet(const Token& t, char32_t c) const {
  for (std::uint32_t r = t.setBegin; r < t.setEnd; ++r)
    if (c >= ranges_[r].lo && c <= ranges_[r].hi) return true;
  if (mode_ == CaseMode::Text) {
    // A letter is in the list when its other case is.
    char32_t lower = FoldLower(c), upper = FoldUpper(c);
    for (std::uint32_t r = t.setBegin; r < t.setEnd; ++r) {
      if (lower != c && lower >= ranges_[r].lo && lower <= ranges_[r].hi) return true;
      if (upper != c && upper >= ranges_[r].lo && upper <= ranges_[r].hi) return true;
    }
  }
  return false;
}

inline bool WildcardPattern::TokenMatches(const Token& t, char32_t c) const {
  switch (t.kind) {
    case Kind::Literal:
      return (mode_ == CaseMode::Text ? FoldLower(c) : c) == t.ch;
    case Kind::Any:
      return true;
    case Kind::Digit:
      return c >= '0' && c <= '9';
    case Kind::Set:
      return InSet(t, c);
    case Kind::NotSet:
      return !InSet(t, c);
    case Kind::Star:
      break;
  }
  return false;
}

bool WildcardPattern::Matches(std::string_view text) const {
  if (!Valid()) throw VarnelError(kInvalidPattern, error_);
  // Every character is at least one byte.
  if (text.size() < minChars_) return false;
  const Token* tok = tokens_.data();
  const std::size_t m = tokens_.size();
  const std::size_t n = text.size();
  // Greedy match that, on a mismatch, lets the last star take one more character. Earlier
  // stars never need to be revisited, so the work is at most text length times pattern length.
  std::size_t ti = 0, pi = 0, starP = kNone, starT = 0;
  while (ti < n) {
    if (pi < m) {
      const Token& t = tok[pi];
      if (t.kind == Kind::Star) {
        if (pi + 1 == m) return true;  // a final star takes the rest
        starP = pi++;
        starT = ti;
        // A literal after the star can only match where that byte occurs.
        const Token& next = tok[pi];
        if (next.kind == Kind::Literal && next.ch < 0x80 &&
            (mode_ == CaseMode::Binary || !(next.ch >= 'a' && next.ch <= 'z'))) {
          const void* hit = std::memchr(text.data() + ti, static_cast<int>(next.ch), n - ti);
          if (!hit) return false;
          // The characters skipped belong to the star's run.
          ti = starT = static_cast<std::size_t>(static_cast<const char*>(hit) - text.data());
        }
        continue;
      }
      std::size_t len;
      char32_t c = Decode(text, ti, len);
      if (TokenMatches(t, c)) {
        ti += len;
        ++pi;
        continue;
      }
    }
    if (starP == kNone) return false;
    // Let the last star take one more character and try again from there.
    std::size_t len;
    Decode(text, starT, len);
    ti = starT + len;
    pi = starP;
  }
  while (pi < m && tok[pi].kind == Kind::Star) ++pi;
  return pi == m;
}

bool WildcardMatch(std::string_view text, std::string_view pattern, CaseMode mode) {
  return WildcardPattern(pattern, mode).Matches(text);
}

bool StringCompare(Varnel& ctx, std::string_view text, const WildcardPattern& pattern) {
  if (pattern.Valid()) return pattern.Matches(text);
  ReportError(ctx, pattern.Mode() == CaseMode::Text ? "StringCompareText" : "StringCompareBin",
              kInvalidPattern, pattern.Error());
  return false;
}

bool StringCompareText(Varnel& ctx, std::string_view text, std::string_view pattern) {
  bool result = false;
  Guarded(ctx, "StringCompareText",
          [&] { result = WildcardMatch(text, pattern, CaseMode::Text); });
  return result;
}

bool StringCompareBin(Varnel& ctx, std::string_view text, std::string_view pattern) {
  bool result = false;
  Guarded(ctx, "StringCompareBin",
          [&] { result = WildcardMatch(text, pattern, CaseMode::Binary); });
  return result;
}

}  // namespace varnel
