#include "maintenance/backup_link.h"

#include <gtest/gtest.h>

#include "maintenance/backup_archive.h"
#include "maintenance/backup_header.h"
#include "platform/database_copy.h"
#include "platform/error.h"
#include "support/test_support.h"

namespace varnel {
namespace {

// A header is complete at its CR LF; what cannot become one is refused at once.
TEST(BackupHeader, ParsesCompleteHeadersWaitsForTheRestAndRefusesTheRest) {
  using H = HeaderParse;
  // clang-format off
  const struct { std::string block; HeaderParse result; const char* name = "";
                 std::int64_t length = 0; std::size_t size = 0; } cases[] = {
      {"Varnel.zip---123\r\n", H::Complete, "Varnel.zip", 123, 18},
      {"Varnel.zip---5\r\nPK\3\4", H::Complete, "Varnel.zip", 5, 16},
      {"---7\r\n", H::Complete, "", 7, 6},
      {"x---2147483647\r\n", H::Complete, "x", 2147483647, 16},
      {"a---b---5\r\n", H::Invalid}, {"x---2147483648\r\n", H::Invalid},
      {"x---99999999999\r\n", H::Invalid}, {"x---0\r\n", H::Invalid}, {"x---\r\n", H::Invalid},
      {"x---+5\r\n", H::Invalid}, {"x---5 \r\n", H::Invalid}, {"Varnel.zip-5\r\n", H::Invalid},
      {"Varnel.zip---12", H::Incomplete}, {"Varnel.zip---12\n", H::Incomplete},
      {"", H::Incomplete}, {std::string(kMaxHeaderBytes - 1, 'a'), H::Incomplete},
      {std::string(kMaxHeaderBytes, 'a'), H::Invalid},
      {std::string(kMaxHeaderBytes - 3, 'a') + "---1\r\n", H::Invalid}};  // clang-format on
  for (const auto& c : cases) {
    BackupHeader h;
    ASSERT_EQ(ParseBackupHeader(c.block, h), c.result) << c.block;
    if (c.result == H::Complete) {
      EXPECT_EQ(std::tuple(h.name, h.length, h.size), std::tuple(c.name, c.length, c.size));
    }
  }
}

class ReceivedDatabaseTest : public testing::VarnelTest {};

TEST_F(ReceivedDatabaseTest, ACopyPassesAndOneWithoutATableIsRefused) {
  const std::string copy = ctx.Path("copy.mdb");
  CopyDatabase(ctx.DatabasePath(), copy);
  EXPECT_NO_THROW(CheckReceivedDatabase(copy, ctx.DatabasePath()));
  Database(copy).Exec("DROP TABLE SuppGrp_Perm");
  try {
    CheckReceivedDatabase(copy, ctx.DatabasePath());
    ADD_FAILURE() << "a database without SuppGrp_Perm passed";
  } catch (const VarnelError& e) {
    EXPECT_EQ(e.Number(), kInvalidFileFormat);
    EXPECT_NE(std::string(e.what()).find("SuppGrp_Perm"), std::string::npos);
  }
}

}  // namespace
}  // namespace varnel
