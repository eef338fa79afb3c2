#include "filter/supp_group.h"

#include <gtest/gtest.h>

#include "filter_fixture.h"

namespace varnel {
namespace {

using SuppGroupCheckTest = testing::FilterTest;

TEST_F(SuppGroupCheckTest, DutyNodeAndMessageFilters) {
  // Groups off duty take no entry. The fixture's clock stands on a Friday, 10:15.
  AddGroup("off-friday", {{"DutyTimeFri", "0"}});
  AddGroup("off-this-hour", {{"DutyTimeFri", std::to_string(16777215 - (1 << 10))}});
  AddGroup("empty-eq", {{"NodeName", ""}});
  AddGroup("empty-ne", {{"NodeName", " <and> "}, {"NodeNameSearch", "!="}});
  AddGroup("or", {{"NodeName", "web*<or>MAIL*"}, {"CaseSensitive", "1"},
                  {"DutyTimeFri", std::to_string(1 << 10)}});
  AddGroup("and-not", {{"NodeName", "web*<And>mail*"}, {"NodeNameSearch", "!="}});
  AddGroup("message", {{"Message", "*DOWN*"}});
  AddGroup("message-cs", {{"Message", "*DOWN*"}, {"CaseSensitive", "1"}});
  AddGroup("eleven", {{"NodeName", "n1<OR>n2<OR>n3<OR>n4<OR>n5<OR>n6<OR>n7<OR>n8<OR>n9<OR>"
                                   "mail*<OR>dbserver"}});
  AddGroup("broken", {{"NodeName", "[abc"}});
  SetFormat("NM");
  AddEvent(kMajor, "webserver", "link down");
  AddEvent(kMajor, "MAILhost", "link up");
  AddEvent(kMajor, "dbserver", "disk full");
  SuppGroupCheck(ctx);

  // Entries follow the group rows; the tenth pattern counts, the eleventh is ignored.
  EXPECT_EQ(Sent(), (Texts{{3, "webserver, link down>>MAILhost, link up"},
                           {4, "dbserver, disk full"},
                           {5, "webserver, link down"},
                           {7, "MAILhost, link up"}}));
  // A malformed pattern is reported once per run, not once per event.
  EXPECT_EQ(Entries(evt::kRuntimeError),
            Strings{"[93] Invalid pattern string (Module: StringCompareText)"});
}

TEST_F(SuppGroupCheckTest, PriorityConditions) {
  for (const char* search : {"<=", "=", ">=", "=<"})
    AddGroup(search, {{"Priority", "2 - Major"}, {"PrioritySearch", search}});
  SetFormat("M");
  AddEvent(kCritical, "n", "critical");
  AddEvent(kMajor, "n", "major");
  AddEvent(kMinor, "n", "minor");
  AddEvent("Info", "n", "no digit");  // counts as 0, the most severe of all
  SuppGroupCheck(ctx);
  EXPECT_EQ(Sent(), (Texts{{1, "critical>>major>>no digit"}, {2, "major"}, {3, "major>>minor"}}));
}

TEST_F(SuppGroupCheckTest, TextLimitsCountCharactersAndPartsCanAllBeOff) {
  AddGroup("g");
  SetFormat("TNPM", 3, -5);  // a negative limit counts as 0
  AddEvent(kMinor, "äöüß-node", "gone");
  SuppGroupCheck(ctx);
  // The empty message leaves ", , " of which only the last ", " goes.
  EXPECT_EQ(Sent(), (Texts{{1, "10:14:58, äöü, 3 - Minor, "}}));

  // With every part off, events still use the entry.
  SetFormat("", 10, 10);
  SuppGroupCheck(ctx);
  EXPECT_EQ(Sent(), (Texts{{1, ""}}));
  AddEvent(kMinor, "n", "m");
  SuppGroupCheck(ctx);
  EXPECT_EQ(Sent(), (Texts{{1, ">>"}}));
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
  AddGroup("noack", {{"Message", "x*"}});
  SetFormat("NM", 10, 30000);
  ctx.ReqAckIdCounter = 998;
  AddEvent(kMajor, "small", "m1");
  AddEvent(kMajor, "big", std::string(30000, 'x'));
  SuppGroupCheck(ctx);

  const std::string big = "big, " + std::string(30000, 'x');
  EXPECT_EQ(Sent(), (Texts{{1, "<ID=999> " + ("small, m1>>" + big).substr(0, 25000)},
                           {2, "<ID=901> " + big.substr(0, 25000)},
                           {3, big.substr(0, 25000)}}));
  EXPECT_EQ(ctx.ReqAckIdCounter, 901);
}

TEST_F(SuppGroupCheckTest, CorrelatingGroupsHoldDownsOnceAndSendOnlyWhatTheyAreToldTo) {
  AddCorrelatingGroup("corr", 10, {{"SkipDupEvent", "1"}, {"CriteriaDupEvent", "First Part Equal"},
                                   {"SendUpNotInQueue", "1"}});
  AddCorrelatingGroup("first-down", 5, {{"SendMessFirstDown", "1"}, {"NodeName", "r2<OR>r9"}});
  SetFormat("NM");
  AddEvent(kMajor, "r1", "Link down eth0");
  AddEvent(kMajor, "r1", "Link down eth1");  // same first half: a duplicate of the one just held
  AddEvent(kMajor, "r2", "Fan failure");
  SuppGroupCheck(ctx);
  EXPECT_EQ(HoldQueue(), (Strings{Line("corr", "2026-06-26 10:25:00", "r1", "Link down eth0"),
                                  Line("corr", "2026-06-26 10:25:00", "r2", "Fan failure"),
                                  Line("first-down", "2026-06-26 10:20:00", "r2", "Fan failure")}));
  EXPECT_EQ(Sent(), (Texts{{2, "r2, Fan failure"}}));

  // The same events again: only first-down, which does not skip duplicates, holds again.
  SuppGroupCheck(ctx);
  EXPECT_EQ(HoldQueue().size(), 4u);

  // Up events are never held, and sent only by a group that asks for it and holds no down.
  ctx.events.Clear();
  AddEvent(kNormal, "r1", "up");
  AddEvent(kNormal, "r9", "up");
  SuppGroupCheck(ctx);
  EXPECT_EQ(Sent(), (Texts{{1, "r9, up"}}));
  EXPECT_EQ(HoldQueue().size(), 4u);
}

TEST_F(SuppGroupCheckTest, OddNamesAndHugeOrEmptyTextsKeepTheHoldQueueReadable) {
  AddCorrelatingGroup("team\tA", 10, {{"Message", "multi*"}, {"SkipDupEvent", "1"},
                                      {"CriteriaDupEvent", "Whole String Equal"},
                                      {"SendMessWhenExp", "1"}});
  AddCorrelatingGroup("hold", 10, {{"Message", "*x"}});
  AddGroup("empty-node", {{"NodeName", "?*"}, {"NodeNameSearch", "!="}});
  SetFormat("NM", 10, 70000);
  const std::string huge(65536, 'x');
  AddEvent(kMajor, huge, huge);
  AddEvent(kMajor, "", "");
  AddEvent(kMajor, "node\r\nx", "multi\tpart\nmessage");
  SuppGroupCheck(ctx);
  EXPECT_EQ(Sent(), (Texts{{3, ", "}}));
  EXPECT_EQ(ctx.ErrorCount, 0);

  ctx.events.Clear();
  AddEvent(kMajor, "node\r\nx", "multi\tpart\nmessage");
  SuppGroupCheck(ctx);  // a duplicate now
  // TAB, CR and LF become blanks; held messages are cut to 400 characters.
  const std::string until = "2026-06-26 10:25:00";
  EXPECT_EQ(HoldQueue(), (Strings{Line("team A", until, "node  x", "multi part message"),
                                  Line("hold", until, huge, std::string(400, 'x'))}));
  EXPECT_TRUE(TestForName_Hq(ctx, "hold", huge));
  EXPECT_TRUE(TestForName_Hq(ctx, "team\tA", "node\r\nx"));
  RunHqAt("2026-06-26 10:25:01");
  EXPECT_EQ(SentHq().size(), 1u) << "the held entry is found under its group";
}

}  // namespace
}  // namespace varnel
