#include "filter/wildcard.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "service/errors.h"
#include "support/test_support.h"

namespace varnel {
namespace {

using testing::VarnelTest;

struct Row {
  const char* text;
  const char* pattern;
  bool text_match;  // StringCompareText
  bool bin_match;   // StringCompareBin
};

// text, pattern, expected without regard to case, expected by character code.
const Row kRows[] = {
    // Plain characters and the whole-string rule.
    {"router1", "router1", true, true},
    {"router1", "Router1", true, false},
    {"ROUTER1", "router1", true, false},
    {"router1", "router", false, false},
    {"router", "router1", false, false},
    {"", "", true, true},
    {"a", "", false, false},
    {"", "a", false, false},
    // ? and *.
    {"abc", "a?c", true, true},
    {"ac", "a?c", false, false},
    {"abbc", "a?c", false, false},
    {"", "*", true, true},
    {"anything at all", "*", true, true},
    {"", "?", false, false},
    {"webserver", "web*", true, true},
    {"WebServer", "web*", true, false},
    {"mailhost", "web*", false, false},
    {"Link down on eth0", "*down*", true, true},
    {"Link DOWN on eth0", "*down*", true, false},
    {"down", "*down*", true, true},
    {"abc", "a**c", true, true},
    {"abcabd", "*abd", true, true},
    {"abcab", "*abd", false, false},
    {"aXbXc", "a*b*c", true, true},
    {"aXbX", "a*b*c", false, false},
    {"mississippi", "m*iss*ppi", true, true},
    {"mississippi", "m*iss*pi?", false, false},
    {"ab", "*?", true, true},
    {"", "*?", false, false},
    // # matches one digit.
    {"port 7", "port #", true, true},
    {"port x", "port #", false, false},
    {"port 12", "port #", false, false},
    {"port 12", "port ##", true, true},
    {"10.0.0.1", "##.#.#.#", true, true},
    {"10.0.0.1", "#.#.#.#", false, false},
    // Lists, negated lists and ranges.
    {"b", "[abc]", true, true},
    {"d", "[abc]", false, false},
    {"B", "[abc]", true, false},
    {"d", "[!abc]", true, true},
    {"a", "[!abc]", false, false},
    {"A", "[!abc]", false, true},
    {"m", "[a-z]", true, true},
    {"M", "[a-z]", true, false},
    {"m", "[A-Z]", true, false},
    {"5", "[0-9]", true, true},
    {"5", "[!0-9]", false, false},
    {"sw3", "sw[1-4]", true, true},
    {"sw5", "sw[1-4]", false, false},
    {"x", "[a-cx-z]", true, true},
    {"q", "[a-cx-z]", false, false},
    {"core-sw1", "core[-_]sw#", true, true},
    {"core_sw1", "core[-_]sw#", true, true},
    {"core.sw1", "core[-_]sw#", false, false},
    {"-", "[a-]", true, true},
    {"-", "[-a]", true, true},
    {"-", "[!-a]", false, false},
    {"b", "[a-]", false, false},
    {"b", "[!a-]", true, true},
    // Literal specials inside brackets, literal ] outside.
    {"a*b", "a[*]b", true, true},
    {"axb", "a[*]b", false, false},
    {"a?b", "a[?]b", true, true},
    {"axb", "a[?]b", false, false},
    {"#1", "[#]#", true, true},
    {"11", "[#]#", false, false},
    {"[x]", "[[]x]", true, true},
    {"x]", "x]", true, true},
    {"]", "]", true, true},
    {"a[b", "a[[]b", true, true},
    // Empty lists.
    {"ab", "a[]b", true, true},
    {"axb", "a[!]b", true, true},
    {"ab", "a[!]b", false, false},
    // Latin-1 letters fold in text comparison only.
    {"Überlast", "überlast", true, false},
    {"STÖRUNG", "störung", true, false},
    {"Ÿ", "ÿ", true, false},
    {"ŠKODA", "škoda", true, false},
    {"straße", "STRASSE", false, false},
    {"é", "?", true, true},
    {"é", "[à-ÿ]", true, true},
    {"É", "[à-ÿ]", true, false},
    {"×", "[à-ÿ]", false, false},
    {"Ä1", "[äöü]#", true, false},
    {"日本", "??", true, true},
    {"日本", "?", false, false},
};

class WildcardCompareTest : public VarnelTest {};

TEST_F(WildcardCompareTest, BothComparesAgreeWithTheTable) {
  ASSERT_GE(std::size(kRows), 60u);
  for (const Row& r : kRows) {
    EXPECT_EQ(StringCompareText(ctx, r.text, r.pattern), r.text_match)
        << "text \"" << r.text << "\" pattern \"" << r.pattern << "\" (StringCompareText)";
    EXPECT_EQ(StringCompareBin(ctx, r.text, r.pattern), r.bin_match)
        << "text \"" << r.text << "\" pattern \"" << r.pattern << "\" (StringCompareBin)";
  }
  EXPECT_EQ(ctx.ErrorCount, 0);
}

TEST(WildcardCase, FoldingIsASymmetricPairing) {
  // Every letter that folds down folds back up to itself, so ranges and literals agree.
  for (char32_t c = 0; c < 0x200; ++c) {
    char32_t lower = FoldLower(c);
    if (lower != c) {
      EXPECT_EQ(FoldUpper(lower), c) << static_cast<unsigned>(c);
    }
    char32_t upper = FoldUpper(c);
    if (upper != c) {
      EXPECT_EQ(FoldLower(upper), c) << static_cast<unsigned>(c);
    }
  }
  EXPECT_EQ(FoldLower(U'×'), U'×');
  EXPECT_EQ(FoldUpper(U'ß'), U'ß');
}

TEST(WildcardMalformed, UnclosedAndDescendingListsRaise93) {
  for (const char* p : {"[abc", "a[", "[!", "*[a-", "[z-a]", "x[9-0]y"}) {
    try {
      WildcardMatch("abc", p, CaseMode::Text);
      ADD_FAILURE() << "no error for " << p;
    } catch (const VarnelError& e) {
      EXPECT_EQ(e.Number(), kInvalidPattern) << p;
    }
  }
}

TEST_F(WildcardCompareTest, MalformedPatternIsReportedAndCountsAsNoMatch) {
  EXPECT_FALSE(StringCompareText(ctx, "abc", "[abc"));
  EXPECT_FALSE(StringCompareBin(ctx, "abc", "a[z-a]"));
  auto errors = Entries(evt::kRuntimeError);
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0], "[93] Invalid pattern string (Module: StringCompareText)");
  EXPECT_EQ(errors[1], "[93] Invalid pattern string (Module: StringCompareBin)");
  EXPECT_EQ(ctx.ErrorCount, 2);
  EXPECT_TRUE(StringCompareText(ctx, "ABC", "a?c"));
  EXPECT_FALSE(StringCompareBin(ctx, "ABC", "a?c"));
  EXPECT_EQ(ctx.ErrorCount, 2);

  // The compiled form is kept: the same bad pattern is reported again on every compare.
  EXPECT_FALSE(StringCompareText(ctx, "abc", "[abc"));
  EXPECT_EQ(ctx.ErrorCount, 3);

  WildcardPattern bad("x[", CaseMode::Binary);
  EXPECT_FALSE(bad.Valid());
  EXPECT_FALSE(StringCompare(ctx, "x[", bad));
  EXPECT_EQ(Entries(evt::kRuntimeError).back(),
            "[93] Invalid pattern string (Module: StringCompareBin)");
}

TEST(WildcardLongTexts, StarsDoNotGoExponential) {
  // Naive recursive matching takes ages on these; the last-star rule keeps them linear.
  std::string as(65536, 'a');
  EXPECT_FALSE(WildcardMatch(as, "*a*a*a*a*a*a*a*a*a*a*b", CaseMode::Text));
  EXPECT_TRUE(WildcardMatch(as + "b", "*a*a*a*a*a*a*a*a*a*a*b", CaseMode::Binary));
  EXPECT_FALSE(WildcardMatch(as, "*?*?*?*?*?*?*?*?*?*?#", CaseMode::Text));
  EXPECT_TRUE(WildcardMatch(as, "a*" + std::string(100, '?'), CaseMode::Text));
  EXPECT_FALSE(WildcardMatch(as, std::string(65537, '?'), CaseMode::Binary));

  std::string text = "node " + std::string(65536, 'x') + " link down";
  EXPECT_TRUE(WildcardMatch(text, "NODE*LINK DOWN", CaseMode::Text));
  EXPECT_TRUE(WildcardMatch(text, "*x l[h-j]nk d?wn", CaseMode::Binary));
}

TEST(WildcardBytes, InvalidUtf8AndControlCharactersAreOrdinaryCharacters) {
  std::string stray = "a\xff" "b";
  EXPECT_TRUE(WildcardMatch(stray, "a?b", CaseMode::Text));
  EXPECT_TRUE(WildcardMatch(stray, stray, CaseMode::Binary));
  EXPECT_FALSE(WildcardMatch(stray, "a\xfe" "b", CaseMode::Binary));
  EXPECT_TRUE(WildcardMatch(std::string("a\0b", 3), "a?b", CaseMode::Binary));
  EXPECT_TRUE(WildcardMatch("a\tb\r\n", "a?b*", CaseMode::Text));
  // A lead byte cut off at the end of the text is a character of its own.
  EXPECT_TRUE(WildcardMatch("ab\xc3", "ab?", CaseMode::Text));
}

// An independent matcher to compare against: dynamic programming over pattern atoms whose
// meaning is given directly, so no parsing is shared with the code under test.
struct Atom {
  const char* text;
  bool star;
  std::function<bool(char32_t, bool)> accepts;  // (character, text comparison)
};

bool ReferenceMatch(const std::vector<const Atom*>& atoms, const std::u32string& text,
                    bool textCompare) {
  // ok[j] after i atoms: the first j characters are matched by them.
  std::vector<char> ok(text.size() + 1, 0);
  ok[0] = 1;
  for (const Atom* a : atoms) {
    std::vector<char> next(text.size() + 1, 0);
    for (std::size_t j = 0; j <= text.size(); ++j) {
      if (a->star) {
        next[j] = ok[j] || (j > 0 && next[j - 1]);
      } else {
        next[j] = j > 0 && ok[j - 1] && a->accepts(text[j - 1], textCompare);
      }
    }
    ok = std::move(next);
  }
  return ok[text.size()];
}

std::string Utf8(const std::u32string& s) {
  std::string out;
  for (char32_t c : s) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

TEST(WildcardDifferential, AgreesWithAReferenceMatcherOnRandomCases) {
  auto is = [](char32_t lower, char32_t upper) {
    return [=](char32_t c, bool t) { return c == lower || (t && c == upper); };
  };
  const Atom atoms[] = {
      {"a", false, is(U'a', U'A')},
      {"B", false, is(U'B', U'b')},
      {"é", false, is(U'é', U'É')},
      {"?", false, [](char32_t, bool) { return true; }},
      {"#", false, [](char32_t c, bool) { return c >= '0' && c <= '9'; }},
      {"*", true, nullptr},
      {"[ab]", false, [](char32_t c, bool t) {
         return c == 'a' || c == 'b' || (t && (c == 'A' || c == 'B'));
       }},
      {"[!a]", false, [](char32_t c, bool t) { return !(c == 'a' || (t && c == 'A')); }},
      {"[a-c1]", false, [](char32_t c, bool t) {
         return (c >= 'a' && c <= 'c') || c == '1' || (t && c >= 'A' && c <= 'C');
       }},
      {"[*]", false, [](char32_t c, bool) { return c == '*'; }},
  };
  const char32_t letters[] = {U'a', U'b', U'A', U'B', U'c', U'1', U'é', U'É', U'*'};
  std::mt19937 rng(20260626);
  for (int round = 0; round < 20000; ++round) {
    std::vector<const Atom*> chosen;
    std::string pattern;
    for (int n = static_cast<int>(rng() % 7); n > 0; --n) {
      chosen.push_back(&atoms[rng() % std::size(atoms)]);
      pattern += chosen.back()->text;
    }
    std::u32string text;
    for (int n = static_cast<int>(rng() % 9); n > 0; --n) text += letters[rng() % std::size(letters)];
    for (bool textCompare : {false, true}) {
      CaseMode mode = textCompare ? CaseMode::Text : CaseMode::Binary;
      ASSERT_EQ(WildcardMatch(Utf8(text), pattern, mode), ReferenceMatch(chosen, text, textCompare))
          << "text \"" << Utf8(text) << "\" pattern \"" << pattern << "\" text compare "
          << textCompare;
    }
  }
}

TEST(SplitUp, SplitsTrimsAndStopsAfterTen) {
  FilterParts p = SplitUp(" web* <or>mail*<OR> db? ", "<OR>");
  EXPECT_EQ(p[0], "web*");
  EXPECT_EQ(p[1], "mail*");
  EXPECT_EQ(p[2], "db?");
  EXPECT_EQ(p[3], "");

  p = SplitUp("a<And>b<aNd>", "<AND>");
  EXPECT_EQ(p[0], "a");
  EXPECT_EQ(p[1], "b");
  EXPECT_EQ(p[2], "");

  p = SplitUp("1<OR>2<OR>3<OR>4<OR>5<OR>6<OR>7<OR>8<OR>9<OR>10<OR>11<OR>12", "<OR>");
  EXPECT_EQ(p[9], "10");
  for (const auto& part : p) EXPECT_NE(part, "11");

  p = SplitUp("", "<OR>");
  for (const auto& part : p) EXPECT_EQ(part, "");
  p = SplitUp("<OR><OR>x", "<OR>");
  EXPECT_EQ(p[0], "");
  EXPECT_EQ(p[1], "");
  EXPECT_EQ(p[2], "x");
}

}  // namespace
}  // namespace varnel
