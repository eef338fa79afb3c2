#include <gtest/gtest.h>

#include "admin/ops_common.h"

namespace varnel::admin {
namespace {

TEST(AlignedPrinter, RepeatsTheHeaderOnlyWhenABlockWidensAColumn) {
  AlignedPrinter p({"Id", "Who", "Text"});
  EXPECT_EQ(p.Block({{"1", "ann", "a long last column is never padded"}}),
            "Id  Who  Text\n"
            "1   ann  a long last column is never padded\n");
  EXPECT_EQ(p.Block({{"2", "bo", "x"}}), "2   bo   x\n");
  // Wider cells of a later block: the header comes again, aligned with them.
  EXPECT_EQ(p.Block({{"3", "Åsa-Britt", "y"}}),
            "Id  Who        Text\n"
            "3   Åsa-Britt  y\n");
}

TEST(JsonString, EscapesWhatWouldBreakALine) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain", "\"plain\""},
      {"say \"hi\"\\", "\"say \\\"hi\\\"\\\\\""},
      {"a\tb\r\nc\x01", "\"a\\tb\\r\\nc\\u0001\""},
      {"\xC4rger", "\"\xC3\x84rger\""},  // a Windows-1252 byte becomes UTF-8
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(JsonString(in), out) << in;
}

TEST(ParseOptions, KeepsRepeatedOptionsInOrderAndRefusesWhatItDoesNotKnow) {
  const std::vector<std::string> args{"dir", "--where", "A=1", "--json", "B=2", "--where", "C=3"};
  const Options o = ParseOptions(args, {"--where"}, {"--json"});
  EXPECT_EQ(o.positional, (std::vector<std::string>{"dir", "B=2"}));
  EXPECT_EQ(o.named, (std::vector<std::pair<std::string, std::string>>{
                         {"--where", "A=1"}, {"--json", ""}, {"--where", "C=3"}}));
  EXPECT_TRUE(o.Has("--json"));
  EXPECT_EQ(o.Value("--where"), "A=1");
  const std::pair<std::vector<std::string>, std::string> refused[] = {
      {{"dir", "--where"}, "--where needs a value"},
      {{"dir", "--csv"}, "unknown option --csv"},
  };
  for (const auto& [words, message] : refused) {
    try {
      ParseOptions(words, {"--where"}, {"--json"});
      ADD_FAILURE() << message;
    } catch (const BadInput& e) {
      EXPECT_EQ(e.what(), message);
    }
  }
}

}  // namespace
}  // namespace varnel::admin
