#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "delivery/journal_and_buffer.h"
#include "support/test_support.h"

namespace varnel {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class DutyJournalTest : public testing::VarnelTest {};

// A row that cannot be applied is reported and stays (the next day removes it as out of
// date); no group is handed to a receiver that does not exist.
TEST_F(DutyJournalTest, RowsNamingUnknownGroupsOrReceiversAreReportedAndNotApplied) {
  AddRow("Recv_Phone_MO", {{"Name", "night"}, {"Enabled", "1"}});
  for (const char* group : {"ops", "net"})
    AddRow("SuppGrp_Perm", {{"Name", group}, {"RecvName1", "day"}, {"RecvType1", "PhoneMO"}});
  for (auto [group, receiver, time] : {std::tuple{"nosuch", "night", "10:00:00"},
                                       {"ops", "ghost", "10:00:00"},
                                       {"net", "night", "noon"},
                                       {"net", "night", "1899-12-30 10:00:00"}})
    AddRow("SuppGrp_Jour", {{"Date", "2026-06-26 00:00:00"},
                            {"Time", time},
                            {"SupportGroup", group},
                            {"RecvName1", receiver},
                            {"RecvType1", "PhoneMO"}});
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
