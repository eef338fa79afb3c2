#include "filter/wildcard_pattern.h"

#include <array>
#include <cstring>

#include "platform/error.h"

namespace varnel {
namespace {

// Bytes with the ASCII capitals folded to small letters.
constexpr auto kAsciiLower = [] {
  std::array<unsigned char, 256> t{};
  for (int i = 0; i < 256; ++i)
    t[i] = static_cast<unsigned char>(i >= 'A' && i <= 'Z' ? i + 32 : i);
  return t;
}();

// Decodes the character at s[i] and sets len to its byte count. A byte that does not start a
// valid, shortest UTF-8 sequence is one character of its own, 0xDC00 + byte, so it only ever equals
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
    // An overlong form is no character of its own: it would equal an ASCII character while
    // its bytes differ, and the bytewise prefix search compares bytes.
    const char32_t least = n == 2 ? 0x80 : n == 3 ? 0x800 : 0x10000;
    if (k == n && c >= least && c <= 0x10FFFF) {
      len = n;
      return c;
    }
  }
  len = 1;
  return 0xDC00 + b;
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

WildcardPattern::WildcardPattern(std::string_view pattern, CaseMode mode) : mode_(mode) {
  std::vector<char32_t> p;
  p.reserve(pattern.size());
  for (std::size_t i = 0, len = 0; i < pattern.size(); i += len)
    p.push_back(Decode(pattern, i, len));

  std::size_t segStart = 0;
  // Closes the run of tokens since the last star.
  auto endSegment = [&] {
    if (tokens_.size() == segStart) return;
    Segment seg{
        static_cast<std::uint32_t>(segStart), static_cast<std::uint32_t>(tokens_.size()), {}};
    for (std::size_t t = segStart;
         t < tokens_.size() && tokens_[t].kind == Kind::Literal && tokens_[t].ch < 0x80; ++t)
      seg.prefix += static_cast<char>(tokens_[t].ch);
    segments_.push_back(std::move(seg));
    segStart = tokens_.size();
  };
  auto fold = [&](char32_t c) { return mode_ == CaseMode::Text ? FoldLower(c) : c; };

  for (std::size_t i = 0; i < p.size(); ++i) {
    char32_t c = p[i];
    switch (c) {
      case '*':
        endSegment();
        if (!hasStar_ && tokens_.empty()) leadingStar_ = true;
        hasStar_ = true;
        continue;
      case '?': tokens_.push_back({Kind::Any, 0, 0, 0}); break;
      case '#': tokens_.push_back({Kind::Digit, 0, 0, 0}); break;
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
          break;
        }
        tokens_.push_back({negated ? Kind::NotSet : Kind::Set, 0, begin, end});
        break;
      }
      default: tokens_.push_back({Kind::Literal, fold(c), 0, 0}); break;
    }
  }
  trailingStar_ = hasStar_ && tokens_.size() == segStart;
  endSegment();
  minChars_ = tokens_.size();
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
    case Kind::Literal: return (mode_ == CaseMode::Text ? FoldLower(c) : c) == t.ch;
    case Kind::Any: return true;
    case Kind::Digit: return c >= '0' && c <= '9';
    case Kind::Set: return InSet(t, c);
    case Kind::NotSet: return !InSet(t, c);
  }
  return false;
}

// Where the segment's ASCII prefix occurs at or after from (npos when nowhere). ASCII bytes
// always begin a character, so a bytewise hit is a character position; and a byte of a
// multi-byte character never equals an ASCII byte, folded or not.
std::size_t WildcardPattern::FindPrefix(const Segment& s, std::string_view text,
                                        std::size_t from) const {
  if (mode_ == CaseMode::Binary) return text.find(s.prefix, from);
  const std::size_t n = text.size(), m = s.prefix.size();
  const auto first = static_cast<unsigned char>(s.prefix[0]);
  const auto firstUpper =
      static_cast<unsigned char>(first >= 'a' && first <= 'z' ? first - 32 : first);
  const auto* t = reinterpret_cast<const unsigned char*>(text.data());
  for (std::size_t at = from; at + m <= n; ++at) {
    if (t[at] != first && t[at] != firstUpper) continue;
    std::size_t k = 1;
    while (k < m && kAsciiLower[t[at + k]] == static_cast<unsigned char>(s.prefix[k])) ++k;
    if (k == m) return at;
  }
  return std::string_view::npos;
}

bool WildcardPattern::MatchAt(const Segment& s, std::string_view text, std::size_t at,
                              std::size_t& end) const {
  const std::size_t n = text.size();
  const std::size_t m = s.prefix.size();
  if (n - at < m) return false;
  const char* t = text.data() + at;
  if (mode_ == CaseMode::Binary) {
    if (std::memcmp(t, s.prefix.data(), m) != 0) return false;
  } else {
    for (std::size_t k = 0; k < m; ++k)
      if (kAsciiLower[static_cast<unsigned char>(t[k])] != static_cast<unsigned char>(s.prefix[k]))
        return false;
  }
  std::size_t i = at + m;
  for (std::uint32_t k = s.begin + static_cast<std::uint32_t>(m); k < s.end; ++k) {
    if (i >= n) return false;
    std::size_t len;
    char32_t c = Decode(text, i, len);
    if (!TokenMatches(tokens_[k], c)) return false;
    i += len;
  }
  end = i;
  return true;
}

bool WildcardPattern::Find(const Segment& s, std::string_view text, std::size_t from,
                           std::size_t& end) const {
  const std::size_t n = text.size();
  if (!s.prefix.empty()) {
    for (std::size_t at = from;; ++at) {
      at = FindPrefix(s, text, at);
      if (at == std::string_view::npos) return false;
      if (MatchAt(s, text, at, end)) return true;
    }
  }
  for (std::size_t at = from; at < n;) {
    if (MatchAt(s, text, at, end)) return true;
    std::size_t len;
    Decode(text, at, len);
    at += len;
  }
  return false;
}

bool WildcardPattern::Matches(std::string_view text) const {
  if (!Valid()) throw VarnelError(kInvalidPattern, error_);
  // Every character is at least one byte.
  if (text.size() < minChars_) return false;
  const std::size_t n = text.size();
  std::size_t end = 0;
  if (!hasStar_)
    return segments_.empty() ? n == 0 : MatchAt(segments_[0], text, 0, end) && end == n;

  // The runs between stars all have a fixed number of characters, so placing each one at
  // its leftmost possible position after the one before never loses a match.
  std::size_t first = 0, last = segments_.size(), pos = 0;
  if (!leadingStar_) {
    if (!MatchAt(segments_[0], text, 0, pos)) return false;
    first = 1;
  }
  if (!trailingStar_) --last;
  for (std::size_t i = first; i < last; ++i)
    if (!Find(segments_[i], text, pos, pos)) return false;
  if (trailingStar_) return true;

  // The final run must end the text: find where its characters start.
  const Segment& tail = segments_.back();
  const std::size_t chars = tail.end - tail.begin;
  if (n - pos < chars) return false;
  std::size_t start = n - chars;
  bool asciiTail = true;
  for (std::size_t k = start; k < n && asciiTail; ++k)
    asciiTail = static_cast<unsigned char>(text[k]) < 0x80;
  if (!asciiTail) {
    std::size_t count = 0, len;
    for (std::size_t k = pos; k < n; k += len, ++count) Decode(text, k, len);
    if (count < chars) return false;
    start = pos;
    for (std::size_t skip = count - chars; skip > 0; --skip, start += len) Decode(text, start, len);
  }
  return start >= pos && MatchAt(tail, text, start, end) && end == n;
}

bool WildcardMatch(std::string_view text, std::string_view pattern, CaseMode mode) {
  return WildcardPattern(pattern, mode).Matches(text);
}

const WildcardPattern& PatternCache::Get(std::string_view pattern, CaseMode mode) {
  auto& compiled = compiled_[mode == CaseMode::Text ? 1 : 0];
  auto it = compiled.find(pattern);
  if (it != compiled.end()) return it->second;
  if (compiled.size() >= kMaxEntries) compiled.clear();
  return compiled.emplace(std::string(pattern), WildcardPattern(pattern, mode)).first->second;
}

}  // namespace varnel
