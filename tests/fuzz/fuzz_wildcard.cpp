// Fuzz target: the wildcard matcher. Besides not crashing:
// only a pattern with "[" can be malformed, and matching it raises error 93; a text
// always matches itself written as a pattern (special characters in brackets), also after "*".
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "filter/wildcard_pattern.h"
#include "platform/error.h"

// Input: one mode byte, then the pattern, a NUL, and the text.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  using varnel::WildcardPattern;
  varnel::CaseMode mode = data[0] & 1 ? varnel::CaseMode::Text : varnel::CaseMode::Binary;
  std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  std::size_t nul = rest.find('\0');
  std::string_view pattern = rest.substr(0, nul);
  std::string_view text = nul == std::string_view::npos ? std::string_view() : rest.substr(nul + 1);

  WildcardPattern compiled(pattern, mode);
  if (!compiled.Valid() && pattern.find('[') == std::string_view::npos) std::abort();
  try {
    compiled.Matches(text);
    if (!compiled.Valid()) std::abort();
  } catch (const varnel::VarnelError& e) {
    if (compiled.Valid() || e.Number() != varnel::kInvalidPattern) std::abort();
  }
  std::string literal;
  for (char c : text)
    literal += std::string_view("*?#[").find(c) == std::string_view::npos
                   ? std::string(1, c)
                   : std::string("[") + c + "]";
  if (!WildcardPattern(literal, mode).Matches(text) ||
      !WildcardPattern("*" + literal, mode).Matches("x" + std::string(text)))
    std::abort();
  return 0;
}
