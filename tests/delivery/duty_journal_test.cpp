#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "delivery/journal_and_buffer.h"
#include "support/test_support.h"

namespace varnel {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class DutyJournalTest : public testing::VarnelTest {
 protected:
  void AddGroup(const std::string& name, const std::string& first) {
    AddRow("SuppGrp_Perm", {{"Name", name}, {"RecvName1", first}, {"RecvType1", "PhoneMO"}});
  }
  // A journal row for today (the test clock's 2026-06-26) at the given time.
  void AddHandOver(const std::string& group, const std::string& receiver,
                   const std::string& time = "1899-12-30 10:00:00") {
    AddRow("SuppGrp_Jour", {{"Date", "2026-06-26 00:00:00"},
                            {"Time", time},
                            {"SupportGroup", group},
                            {"RecvName1", receiver},
                            {"RecvType1", "PhoneMO"}});
  }
};

// A row that cannot be applied is reported and stays (the next day removes it as out of
// date); no group is handed to a receiver that does not exist.
TEST_F(DutyJournalTest, RowsNamingUnknownGroupsOrReceiversAreReportedAndNotApplied) {
  AddRow("Recv_Phone_MO", {{"Name", "night"}, {"Enabled", "1"}});
  AddGroup("ops", "day");
  AddGroup("net", "day");
  AddHandOver("nosuch", "night");
  AddHandOver("ops", "ghost");
  AddHandOver("net", "night", "noon");
  AddHandOver("net", "night", "10:00:00");
  ProcessJourList(ctx);

  EXPECT_THAT(Entries(106),
              ElementsAre(HasSubstr("] Support group not found: nosuch (Module: ProcessJourList)"),
                          HasSubstr("] Receiver not found: ghost (PhoneMO) for support group ops"),
                          HasSubstr("[13] Type mismatch: duty journal row")));
  EXPECT_THAT(Column("SuppGrp_Jour", "RecvName1"), ElementsAre("night", "ghost", "night"));
  // With NotifyDutyListOnOff off the hand-over happens without telling anyone.
  EXPECT_THAT(Column("SuppGrp_Perm", "RecvName1"), ElementsAre("day", "night"));
  EXPECT_THAT(Column("LogFiles_Alarm", "Receiver"), ElementsAre());
}

}  // namespace
}  // namespace varnel
