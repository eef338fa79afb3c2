#include "filter/supp_group.h"

#include <gtest/gtest.h>

#include "filter/duty_time.h"
#include "filter/group_text.h"
#include "filter_fixture.h"

namespace varnel {
namespace {

using SuppGroupCheckTest = testing::FilterTest;

// Duty, case, AND, OR and != on whole groups are followed end to end; these are the edges.
TEST_F(SuppGroupCheckTest, DutyHourEmptyPatternsTheTenPatternLimitAndBadPatterns) {
  // The fixture's clock stands on a Friday, 10:15.
  AddGroup("off-this-hour", {{"DutyTimeFri", std::to_string(16777215 - (1 << 10))}});
  AddGroup("empty-eq", {{"NodeName", ""}});
  AddGroup("empty-ne", {{"NodeName", " <and> "}, {"NodeNameSearch", "!="}});
  AddGroup("eleven", {{"NodeName",
                       "n1<OR>n2<OR>n3<OR>n4<OR>n5<OR>n6<OR>n7<OR>n8<OR>n9<OR>"
                       "mail*<OR>dbserver"}});
  AddGroup("broken", {{"NodeName", "[abc"}});
  SetFormat("N");
  for (const char* node : {"webserver", "MAILhost", "dbserver"}) AddEvent(kMajor, node, "m");
  SuppGroupCheck(ctx);
  // Only groups on duty count: the tenth pattern matches, the eleventh is ignored.
  EXPECT_EQ(Sent(), (Texts{{3, "MAILhost"}}));
  // A malformed pattern is reported once per run, not once per event.
  EXPECT_EQ(Entries(evt::kRuntimeError),
            Strings{"[93] Invalid pattern string (Module: StringCompareText)"});
}

TEST(PriorityCondition, SearchWordsAgainstTheGroupsPriority) {
  struct Case {
    const char* event;
    const char* search;
    bool holds;
  };
  for (const Case& c : {Case{"2 - Major", "<=", true},
                        {"3 - Minor", "<=", false},
                        {"2 - Major", "=", true},
                        {"1 - Critical", "=", false},
                        {"2 - Major", ">=", true},
                        {"1 - Critical", ">=", false},
                        {"2 - Major", "=<", false},  // not a search word
                        {"Info", "<=", true}})       // no digit: 0, the most severe
    EXPECT_EQ(PriorityCondition(c.event, "2 - Major", c.search), c.holds) << c.event << c.search;
}

TEST_F(SuppGroupCheckTest, TextLimitsCountCharactersAndANegativeOneCountsAsZero) {
  AddGroup("g");
  SetFormat("TNPM", 3, -5);
  AddEvent(kMinor, "äöüß-node", "gone");
  SuppGroupCheck(ctx);
  // The empty message leaves ", , " of which only the last ", " goes.
  EXPECT_EQ(Sent(), (Texts{{1, "10:14:58, äöü, 3 - Minor, "}}));
}

TEST_F(SuppGroupCheckTest, A256thGroupIsAnErrorInBothTables) {
  AddGroup("g", {}, 256);
  AddEvent(kMajor, "n", "m");
  SuppGroupCheck(ctx);
  EXPECT_EQ(Sent().size(), 255u);
  EXPECT_EQ(Entries(evt::kRuntimeError),
            Strings{"[9] Subscript out of range (Module: SuppGroupCheck)"});
  ctx.events.Clear();
  Hold({Line("g256", "2026-06-26 10:00:00", "n", "m")});
  RunHqAt("2026-06-26 10:15:00");
  EXPECT_EQ(Entries(evt::kRuntimeError).back(),
            "[9] Subscript out of range (Module: SuppGroupCheck_Hq)");
}

TEST_F(SuppGroupCheckTest, AcknowledgementIdsWrapAndTextsAreCutBeforeTheirPrefix) {
  AddGroup("ack", {{"ReqAck", "1"}});
  AddGroup("ack2", {{"ReqAck", "1"}, {"NodeName", "big"}});
  SetFormat("NM", 10, 30000);
  ctx.ReqAckIdCounter = 998;
  AddEvent(kMajor, "small", "m1");
  AddEvent(kMajor, "big", std::string(30000, 'x'));
  SuppGroupCheck(ctx);

  const std::string big = "big, " + std::string(30000, 'x');
  EXPECT_EQ(Sent(), (Texts{{1, "<ID=999> " + ("small, m1>>" + big).substr(0, 25000)},
                           {2, "<ID=901> " + big.substr(0, 25000)}}));
  EXPECT_EQ(ctx.ReqAckIdCounter, 901);
}

// Holding downs once and the first-down text are followed end to end.
TEST_F(SuppGroupCheckTest, UpsAreNeverHeldAndSentOnlyByAGroupHoldingNoDownOfTheirNode) {
  AddCorrelatingGroup("corr", 10, {{"SendUpNotInQueue", "1"}});
  AddCorrelatingGroup("quiet", 10);
  SetFormat("NM");
  AddEvent(kMajor, "r1", "Link down");
  SuppGroupCheck(ctx);
  ctx.events.Clear();
  AddEvent(kNormal, "r1", "up");
  AddEvent(kNormal, "r9", "up");
  SuppGroupCheck(ctx);
  EXPECT_EQ(Sent(), (Texts{{1, "r9, up"}}));
  EXPECT_EQ(HoldQueue().size(), 2u);
}

TEST_F(SuppGroupCheckTest, OddNamesAndHugeTextsKeepTheHoldQueueReadable) {
  AddCorrelatingGroup("team\tA", 10);
  SetFormat("NM", 10, 70000);
  AddEvent(kMajor, "node\r\nx", std::string(500, 'x') + "\t");
  SuppGroupCheck(ctx);
  // TAB, CR and LF become blanks; held messages are cut to 400 characters.
  EXPECT_EQ(HoldQueue(),
            Strings{Line("team A", "2026-06-26 10:25:00", "node  x", std::string(400, 'x'))});
  EXPECT_TRUE(TestForName_Hq(ctx, "team\tA", "node\r\nx"));
}

TEST(DutyTime, MaskBitsAreHoursAndOutOfRangeMasksAreAllOrNothing) {
  FakeClock clock;
  for (int h = 0; h < 24; ++h) {
    clock.Set("2026-06-26 " + std::string(h < 10 ? "0" : "") + std::to_string(h) + ":59:59");
    EXPECT_EQ(DutyTimeCheck(clock, 0x00FF01), h == 0 || (h >= 8 && h < 16)) << h;
    EXPECT_EQ(DutyTimeCheck(clock, 8388608), h == 23) << h;
    EXPECT_FALSE(DutyTimeCheck(clock, -1)) << h;
    EXPECT_TRUE(DutyTimeCheck(clock, 16777216)) << h;
  }
}

}  // namespace
}  // namespace varnel
