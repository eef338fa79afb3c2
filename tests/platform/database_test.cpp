#include "platform/database.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace varnel {
namespace {

using testing::ErrorOf;

class DatabaseTest : public testing::VarnelTest {};

TEST_F(DatabaseTest, ConversionsAndTheirErrors) {
  SetColumn("Settings_General", "LogIndexEvent", "32767");
  SetColumn("Settings_General", "BufferAllMessOffDuty", "-1");  // Jet's true
  Database db = Db();
  Table t = db.Open("settings_general");  // table and column names ignore letter case
  EXPECT_EQ(t.Int16("logindexevent"), 32767);
  EXPECT_TRUE(t.Flag("BufferAllMessOffDuty"));
  EXPECT_FALSE(t.Flag("NotifyDutyListOnOff"));
  EXPECT_EQ(t.Text("TestLastSent"), "");
  for (std::int64_t beyond : {32768, -32769}) {
    t.Set("LogIndexEvent", beyond);
    t.Update();
    EXPECT_EQ(ErrorOf([&] { t.Int16("LogIndexEvent"); }), err::kOverflow) << beyond;
    EXPECT_EQ(t.Int32("LogIndexEvent"), beyond);
  }
  EXPECT_EQ(ErrorOf([&] { t.Set("LogIndexEvent", "twelve"); }), err::kTypeMismatch);
}

TEST_F(DatabaseTest, MissingFileTableColumnOrRowRaises) {
  Database db = Db();
  Table t = db.Open("Settings_General");
  Table empty = db.Open("SuppGrp_Perm");
  std::string junk = dir + "/junk.mdb";
  std::string text(80, 'x');
  testing::WriteBytes(junk, text.data(), text.size());
  const std::pair<std::function<void()>, int> cases[] = {
      {[&] { db.Open("No_Such_Table"); }, 3001},
      {[&] { t.Text("NoSuchColumn"); }, err::kItemNotFound},
      {[&] { t.Set("NoSuchColumn", "x"); }, err::kItemNotFound},
      {[&] { empty.Text("Name"); }, err::kNoCurrentRecord},
      {[&] { Database(dir + "/nowhere/Varnel.mdb"); }, 3014},
      {[&] { Database(junk).Open("Settings_General"); }, 3026},
  };
  for (const auto& [call, number] : cases) EXPECT_EQ(ErrorOf(call), number);
}

TEST_F(DatabaseTest, WalkAddAndDeleteInRowOrder) {
  Database db = Db();
  {
    Table t = db.Open("Receiver_Test");
    for (const char* name : {"a", "b", "c", "d"}) {
      t.AddNew();
      t.Set("Name", name);
      t.Update();
    }
  }
  std::string seen;
  for (Table t = db.Open("Receiver_Test"); !t.Eof(); t.MoveNext()) {
    seen += t.Text("Name");
    if (t.Text("Name") == "b" || t.Text("Name") == "c") {
      t.Delete();
      EXPECT_EQ(ErrorOf([&] { t.Text("Name"); }), err::kNoCurrentRecord);
    }
  }
  EXPECT_EQ(seen, "abcd");
  Table again = db.Open("Receiver_Test");
  EXPECT_EQ(again.RecordCount(), 2u);
  EXPECT_EQ(again.Text("Name"), "a");
}

}  // namespace
}  // namespace varnel
