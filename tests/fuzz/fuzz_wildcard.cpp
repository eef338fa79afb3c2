// Fuzzes the wildcard matcher and checks it against a plain dynamic-programming matcher that
// reads the pattern language on its own.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "filter/wildcard_pattern.h"
#include "platform/error.h"

namespace {

using varnel::CaseMode;

// Characters as the matcher sees them: UTF-8 code points, a stray byte as 0xDC00 + byte.
std::u32string Decode(std::string_view s) {
  std::u32string out;
  for (std::size_t i = 0; i < s.size();) {
    auto b = static_cast<unsigned char>(s[i]);
    std::size_t n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    bool ok = n != 0 && i + n <= s.size();
    char32_t c = n == 1 ? b : n == 2 ? (b & 0x1Fu) : n == 3 ? (b & 0x0Fu) : (b & 0x07u);
    for (std::size_t k = 1; ok && k < n; ++k) {
      auto cb = static_cast<unsigned char>(s[i + k]);
      ok = (cb & 0xC0) == 0x80;
      c = (c << 6) | (cb & 0x3Fu);
    }
    if (ok) {
      out += c;
      i += n;
    } else {
      out += static_cast<char32_t>(0xDC00 + b);
      i += 1;
    }
  }
  return out;
}

struct Element {
  enum { Star, Any, Digit, Char, List } kind;
  char32_t ch = 0;
  bool negated = false;
  std::vector<std::pair<char32_t, char32_t>> ranges;
  bool zeroWidth = false;  // "[]"
};

bool SameLetter(char32_t a, char32_t b, CaseMode mode) {
  if (a == b) return true;
  return mode == CaseMode::Text && (varnel::FoldLower(a) == b || varnel::FoldUpper(a) == b);
}

bool Accepts(const Element& e, char32_t c, CaseMode mode) {
  switch (e.kind) {
    case Element::Any: return true;
    case Element::Digit: return c >= '0' && c <= '9';
    case Element::Char: return SameLetter(c, e.ch, mode);
    case Element::List: {
      bool in = false;
      for (char32_t v : {c, varnel::FoldLower(c), varnel::FoldUpper(c)}) {
        if (v != c && mode != CaseMode::Text) continue;
        for (auto [lo, hi] : e.ranges) in = in || (v >= lo && v <= hi);
      }
      return in != e.negated;
    }
    case Element::Star: break;
  }
  return false;
}

// False when the pattern is malformed.
bool Parse(const std::u32string& p, std::vector<Element>& out) {
  for (std::size_t i = 0; i < p.size(); ++i) {
    Element e{};
    if (p[i] == '*') {
      e.kind = Element::Star;
    } else if (p[i] == '?') {
      e.kind = Element::Any;
    } else if (p[i] == '#') {
      e.kind = Element::Digit;
    } else if (p[i] == '[') {
      e.kind = Element::List;
      std::size_t j = i + 1;
      if (j < p.size() && p[j] == '!') {
        e.negated = true;
        ++j;
      }
      while (true) {
        if (j >= p.size()) return false;
        if (p[j] == ']') break;
        if (j + 2 < p.size() && p[j + 1] == '-' && p[j + 2] != ']') {
          if (p[j + 2] < p[j]) return false;
          e.ranges.emplace_back(p[j], p[j + 2]);
          j += 3;
        } else {
          e.ranges.emplace_back(p[j], p[j]);
          ++j;
        }
      }
      i = j;
      e.zeroWidth = e.ranges.empty() && !e.negated;
    } else {
      e.kind = Element::Char;
      e.ch = p[i];
    }
    out.push_back(e);
  }
  return true;
}

bool Reference(const std::vector<Element>& els, const std::u32string& t, CaseMode mode) {
  std::vector<char> ok(t.size() + 1, 0), next;
  ok[0] = 1;
  for (const Element& e : els) {
    if (e.zeroWidth) continue;
    next.assign(t.size() + 1, 0);
    for (std::size_t j = 0; j <= t.size(); ++j) {
      if (e.kind == Element::Star)
        next[j] = ok[j] || (j > 0 && next[j - 1]);
      else
        next[j] = j > 0 && ok[j - 1] && Accepts(e, t[j - 1], mode);
    }
    ok.swap(next);
  }
  return ok[t.size()];
}

}  // namespace

// Input: one mode byte, then the pattern, a NUL, and the text.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  CaseMode mode = data[0] & 1 ? CaseMode::Text : CaseMode::Binary;
  std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  std::size_t nul = rest.find('\0');
  std::string_view pattern = rest.substr(0, nul);
  std::string_view text = nul == std::string_view::npos ? std::string_view() : rest.substr(nul + 1);

  varnel::WildcardPattern compiled(pattern, mode);
  std::vector<Element> els;
  bool wellFormed = Parse(Decode(pattern), els);
  if (compiled.Valid() != wellFormed) std::abort();
  if (!wellFormed) {
    try {
      compiled.Matches(text);
      std::abort();
    } catch (const varnel::VarnelError& e) {
      if (e.Number() != varnel::kInvalidPattern) std::abort();
    }
    return 0;
  }
  bool got = compiled.Matches(text);
  // The reference is quadratic; keep it to sizes where that is cheap.
  if (pattern.size() <= 200 && text.size() <= 2000 &&
      got != Reference(els, Decode(text), mode))
    std::abort();
  return 0;
}
