#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/text.h"
#include "support/test_support.h"

namespace varnel {
namespace {

TEST(Text, CutsCountCharactersAndWireBytesReadAsWindows1252) {
  std::string s = "\xC3\x84rende_12$";  // "Ärende_12$"
  EXPECT_EQ(CharLength(s), 10u);
  EXPECT_EQ(LeftChars(s, 1), "\xC3\x84");
  EXPECT_EQ(LeftChars(s, -3), "");
  EXPECT_EQ(MidChars(s, 2, 4), "rend");
  EXPECT_EQ(RightChars(s, 3), "12$");
  EXPECT_EQ(RightChars(s, 99), s);
  for (auto [wire, text] : {std::pair<std::string, std::string>{"caf\xE9", "caf\xC3\xA9"},
                            {"\x80", "\xE2\x82\xAC"},
                            {"ok \xC3\xA9", "ok \xC3\xA9"},  // valid UTF-8 passes unchanged
                            {std::string("a\0b", 3), std::string("a\0b", 3)}})
    EXPECT_EQ(FromWire(wire), text);
  EXPECT_EQ(CharLength(FromWire("\xC3")), 1u);  // a truncated sequence is one character
}

class FilesTest : public testing::VarnelTest {};

TEST_F(FilesTest, LinesWithAnyEndingAndErrorsWithClassicNumbers) {
  std::string path = dir + "/lines.txt";
  testing::WriteBytes(path, "a\r\nb\nc\rd", 8);
  EXPECT_EQ(ReadLines(path), (std::vector<std::string>{"a", "b", "c", "d"}));
  RewriteLines(path, {"x", ""});
  EXPECT_EQ(ReadLines(path), (std::vector<std::string>{"x", ""}));

  using testing::ErrorOf;
  EXPECT_EQ(ErrorOf([&] { ReadLines(dir + "/missing.txt"); }), err::kFileNotFound);
  EXPECT_EQ(ErrorOf([&] { AppendLines(dir + "/no/dir/x.txt", {"x"}); }), err::kPathNotFound);
  EXPECT_EQ(ErrorOf([&] { ReadLines(dir); }), err::kPathFileAccess);  // a directory
  EXPECT_EQ(ErrorOf([&] { DeleteFile(dir + "/missing.txt"); }), 0);
}

}  // namespace
}  // namespace varnel
