#include "filter/wildcard.h"

#include <gtest/gtest.h>

#include "service/errors.h"
#include "support/test_support.h"

namespace varnel {
namespace {

struct Row {
  const char* text;
  const char* pattern;
  bool text_match;  // StringCompareText: letters without regard to case
  bool bin_match;   // StringCompareBin: by character code
};

// clang-format off
const Row kRows[] = {
    // Plain characters, case, and the whole-string rule.
    {"router1", "router1", true, true}, {"", "", true, true}, {"a", "", false, false},
    {"router1", "Router1", true, false}, {"router1", "router", false, false},
    // ? and *.
    {"abc", "a?c", true, true}, {"ac", "a?c", false, false}, {"abbc", "a?c", false, false},
    {"", "?", false, false}, {"", "*", true, true}, {"abc", "a**c", true, true},
    {"WebServer", "web*", true, false}, {"ab", "*?", true, true}, {"", "*?", false, false},
    {"Link down", "*down*", true, true}, {"Link DOWN 2", "*down*", true, false},
    // # is one digit.
    {"port 7", "port #", true, true}, {"port x", "port #", false, false},
    {"port 12", "port #", false, false}, {"port 12", "port ##", true, true},
    {"router", "router1", false, false}, {"abcab", "*abd", false, false},
    // Lists, negated lists, ranges, literal hyphens.
    {"b", "[abc]", true, true}, {"d", "[abc]", false, false}, {"B", "[abc]", true, false},
    {"d", "[!abc]", true, true}, {"a", "[!abc]", false, false}, {"A", "[!abc]", false, true},
    {"M", "[a-z]", true, false}, {"m", "[A-Z]", true, false}, {"5", "[!0-9]", false, false},
    {"sw3", "sw[1-4]", true, true}, {"sw5", "sw[1-4]", false, false}, {"-", "[a-]", true, true},
    {"q", "[a-cx-z]", false, false}, {"-", "[-a]", true, true}, {"日本", "??", true, true},
    {"-", "[!-a]", false, false}, {"b", "[a-]", false, false}, {"b", "[!a-]", true, true},
    // Specials are literal inside a list, ] outside one; [] matches nothing, [!] anything.
    {"a*b", "a[*]b", true, true}, {"axb", "a[*]b", false, false}, {"a?b", "a[?]b", true, true},
    {"#1", "[#]#", true, true}, {"11", "[#]#", false, false}, {"[x]", "[[]x]", true, true},
    {"]", "]", true, true}, {"ab", "a[]b", true, true}, {"axb", "a[!]b", true, true},
    {"ab", "a[!]b", false, false},
    // Latin-1 and Windows-1252 letters fold in text comparison only; characters are code points.
    {"Überlast", "überlast", true, false}, {"Ÿ", "ÿ", true, false}, {"ŠKODA", "škoda", true, false},
    {"straße", "STRASSE", false, false}, {"É", "[à-ÿ]", true, false}, {"×", "[à-ÿ]", false, false},
    // Invalid UTF-8 bytes and control characters are ordinary characters.
    {"a\xff" "b", "a?b", true, true}, {"a\xff" "b", "a\xfe" "b", false, false},
    {"ab\xc3", "ab?", true, true}, {"a\tb\r\n", "a?b*", true, true},
    // An overlong form is two stray bytes, never the ASCII character it spells.
    {"x\xc0\x87", "x\xc0\x87", true, true}, {"\xc0\x87", "\x07", false, false},
};
// clang-format on

class WildcardCompareTest : public testing::VarnelTest {};

TEST_F(WildcardCompareTest, BothComparesAgreeWithTheTable) {
  for (const Row& r : kRows) {
    EXPECT_EQ(StringCompareText(ctx, r.text, r.pattern), r.text_match)
        << "text \"" << r.text << "\" pattern \"" << r.pattern << "\" (StringCompareText)";
    EXPECT_EQ(StringCompareBin(ctx, r.text, r.pattern), r.bin_match)
        << "text \"" << r.text << "\" pattern \"" << r.pattern << "\" (StringCompareBin)";
  }
  EXPECT_EQ(ctx.ErrorCount, 0);
}

TEST_F(WildcardCompareTest, MalformedPatternsAreReportedOnEveryCompareAndNeverMatch) {
  for (const char* p : {"[abc", "a[", "[!", "*[a-", "[z-a]", "x[9-0]y"}) {
    EXPECT_FALSE(StringCompareText(ctx, "abc", p)) << p;
    EXPECT_FALSE(StringCompareBin(ctx, "abc", p)) << p;
  }
  auto errors = Entries(evt::kRuntimeError);
  ASSERT_EQ(errors.size(), 12u);
  EXPECT_EQ(errors[1], "[93] Invalid pattern string (Module: StringCompareBin)");
}

TEST(WildcardLongTexts, StarsDoNotGoExponential) {
  // Naive backtracking takes ages on these.
  const std::string as(65536, 'a');
  EXPECT_FALSE(WildcardMatch(as, "*a*a*a*a*a*a*a*a*a*a*b", CaseMode::Text));
  EXPECT_TRUE(WildcardMatch(as + "b", "*a*a*a*a*a*a*a*a*a*a*b", CaseMode::Binary));
  EXPECT_FALSE(WildcardMatch(as, "*?*?*?*?*?*?*?*?*?*?#", CaseMode::Text));
}

}  // namespace
}  // namespace varnel
