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

}  // namespace
}  // namespace varnel::admin
