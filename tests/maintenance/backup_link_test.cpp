#include "maintenance/backup_link.h"

#include <gtest/gtest.h>

#include "maintenance/backup_archive.h"
#include "maintenance/backup_header.h"
#include "platform/database_copy.h"
#include "platform/error.h"
#include "support/test_support.h"

namespace varnel {
namespace {

TEST(BackupDeadline, FourSecondsPerWholeMillionBytesAboveTheFirst) {
  const struct {
    std::int64_t length, seconds;
  } cases[] = {{1, 10}, {1000000, 10}, {1000001, 14}, {2500000, 18}};
  for (const auto& c : cases) EXPECT_EQ(BackupDeadlineSeconds(c.length), c.seconds) << c.length;
}

TEST(BackupHeader, ParsesTheLineUpToItsCrLf) {
  const struct {
    std::string block, name;
    std::int64_t length;
    std::size_t size;
  } cases[] = {
      {"Varnel.zip---123\r\n", "Varnel.zip", 123, 18},
      {"Varnel.zip---5\r\nPK\3\4", "Varnel.zip", 5, 16},
      {"---7\r\n", "", 7, 6},
      {"x---2147483647\r\n", "x", 2147483647, 16},
  };
  for (const auto& c : cases) {
    BackupHeader h;
    ASSERT_EQ(ParseBackupHeader(c.block, h), HeaderParse::Complete) << c.block;
    EXPECT_EQ(h.name, c.name);
    EXPECT_EQ(h.length, c.length);
    EXPECT_EQ(h.size, c.size);
  }
}

TEST(BackupHeader, WaitsForTheRestOrRefusesWhatIsNoHeader) {
  const struct {
    std::string block;
    HeaderParse result;
  } cases[] = {
      {"a---b---5\r\n", HeaderParse::Invalid},
      {"x---2147483648\r\n", HeaderParse::Invalid},
      {"x---99999999999\r\n", HeaderParse::Invalid},
      {"x---0\r\n", HeaderParse::Invalid},
      {"x---\r\n", HeaderParse::Invalid},
      {"x---+5\r\n", HeaderParse::Invalid},
      {"x---5 \r\n", HeaderParse::Invalid},
      {"Varnel.zip-5\r\n", HeaderParse::Invalid},
      {"Varnel.zip---12", HeaderParse::Incomplete},
      {"Varnel.zip---12\n", HeaderParse::Incomplete},
      {"", HeaderParse::Incomplete},
      {std::string(kMaxHeaderBytes - 1, 'a'), HeaderParse::Incomplete},
      {std::string(kMaxHeaderBytes, 'a'), HeaderParse::Invalid},
      {std::string(kMaxHeaderBytes - 3, 'a') + "---1\r\n", HeaderParse::Invalid},
  };
  for (const auto& c : cases) {
    BackupHeader h;
    EXPECT_EQ(ParseBackupHeader(c.block, h), c.result) << c.block;
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
