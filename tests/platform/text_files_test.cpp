#include <gtest/gtest.h>

#include "error_of.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/text.h"
#include "support/test_support.h"

namespace varnel {
namespace {

TEST(Text, CutsCountCharactersNotBytes) {
  std::string s = "\xC3\x84rende_12$";  // "Ärende_12$"
  EXPECT_EQ(CharLength(s), 10u);
  EXPECT_EQ(LeftChars(s, 1), "\xC3\x84");
  EXPECT_EQ(LeftChars(s, 0), "");
  EXPECT_EQ(LeftChars(s, -3), "");
  EXPECT_EQ(MidChars(s, 2, 4), "rend");
  EXPECT_EQ(RightChars(s, 3), "12$");
  EXPECT_EQ(RightChars(s, 99), s);
}

TEST(Text, WireBytesAreReadAsWindows1252WhenNotUtf8) {
  EXPECT_EQ(FromWire("caf\xE9"), "caf\xC3\xA9");
  EXPECT_EQ(FromWire("\x80"), "\xE2\x82\xAC");
  EXPECT_EQ(FromWire("ok \xC3\xA9"), "ok \xC3\xA9");  // valid UTF-8 passes unchanged
  EXPECT_EQ(FromWire(std::string("a\0b", 3)), std::string("a\0b", 3));
  EXPECT_EQ(CharLength(FromWire("\xC3")), 1u);  // a truncated sequence is one character
}

TEST(Files, LinesWithAnyEnding) {
  std::string dir = testing::MakeTempDir();
  std::string path = dir + "/lines.txt";
  FILE* f = std::fopen(path.c_str(), "wb");
  std::fputs("a\r\nb\nc\rd", f);
  std::fclose(f);
  EXPECT_EQ(ReadLines(path), (std::vector<std::string>{"a", "b", "c", "d"}));
  RewriteLines(path, {"x", ""});
  EXPECT_EQ(ReadLines(path), (std::vector<std::string>{"x", ""}));
  testing::RemoveTree(dir);
}

TEST(Files, ErrorsCarryClassicNumbers) {
  std::string dir = testing::MakeTempDir();
  EXPECT_EQ(testing::ErrorOf([&] { ReadLines(dir + "/missing.txt"); }), err::kFileNotFound);
  EXPECT_EQ(testing::ErrorOf([&] { AppendLines(dir + "/no/dir/x.txt", {"x"}); }), err::kPathNotFound);
  EXPECT_EQ(testing::ErrorOf([&] { ReadLines(dir); }), err::kPathFileAccess);  // a directory
  EXPECT_NO_THROW(DeleteFile(dir + "/missing.txt"));
  testing::RemoveTree(dir);
}

}  // namespace
}  // namespace varnel
