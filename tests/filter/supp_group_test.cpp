#include "filter/supp_group.h"

#include <gtest/gtest.h>

#include "filter/hold_queue.h"
#include "filter_fixture.h"
#include "service/errors.h"

namespace varnel {
namespace {

class SuppGroupCheckTest : public testing::FilterTest {
 protected:
  const SuppGroupEntry& Entry(int k) { return ctx.filter.SuppGrp[k]; }
  int UsedEntries() {
    int n = 0;
    for (int k = 1; k <= kMaxSuppGroups; ++k) n += Entry(k).Free() ? 0 : 1;
    return n;
  }
};

TEST_F(SuppGroupCheckTest, NodeAndMessageFilters) {
  AddGroup("empty-eq", {{"NodeName", ""}});
  AddGroup("empty-ne", {{"NodeName", " <and> "}, {"NodeNameSearch", "!="}});
  AddGroup("or", {{"NodeName", "web*<or>MAIL*"}, {"CaseSensitive", "1"}});
  AddGroup("and-not", {{"NodeName", "web*<And>mail*"}, {"NodeNameSearch", "!="}});
  AddGroup("message", {{"Message", "*DOWN*"}});
  AddGroup("message-cs", {{"Message", "*DOWN*"}, {"CaseSensitive", "1"}});
  AddGroup("eleven", {{"NodeName", "n1<OR>n2<OR>n3<OR>n4<OR>n5<OR>n6<OR>n7<OR>n8<OR>n9<OR>"
                                   "n10<OR>dbserver"}});
  AddEvent(kMajor, "webserver", "link down");
  AddEvent(kMajor, "MAILhost", "link up");
  AddEvent(kMajor, "dbserver", "disk full");
  SuppGroupCheck(ctx);

  // Entries follow the group rows; a group that matched nothing leaves its entry free.
  EXPECT_TRUE(Entry(1).Free());
  EXPECT_TRUE(Entry(2).Free());
  EXPECT_EQ(Entry(3).Name, "or");
  EXPECT_EQ(Entry(3).Mess,
            "2026-06-26, 10:14:58, webserver, 2 - Major, link down>>"
            "2026-06-26, 10:14:58, MAILhost, 2 - Major, link up");
  EXPECT_EQ(Entry(4).Name, "and-not");
  EXPECT_EQ(Entry(4).Mess, "2026-06-26, 10:14:58, dbserver, 2 - Major, disk full");
  EXPECT_EQ(Entry(5).Mess, "2026-06-26, 10:14:58, webserver, 2 - Major, link down");
  EXPECT_TRUE(Entry(6).Free());
  EXPECT_TRUE(Entry(7).Free()) << "the eleventh pattern must be ignored";
  EXPECT_EQ(UsedEntries(), 3);
  EXPECT_EQ(ctx.ErrorCount, 0);
}

TEST_F(SuppGroupCheckTest, PriorityConditions) {
  AddGroup("le-major", {{"Priority", "2 - Major"}, {"PrioritySearch", "<="}});
  AddGroup("eq-major", {{"Priority", "2 - Major"}, {"PrioritySearch", "="}});
  AddGroup("ge-major", {{"Priority", "2 - Major"}, {"PrioritySearch", ">="}});
  AddGroup("bad-search", {{"Priority", "2 - Major"}, {"PrioritySearch", "=<"}});
  AddEvent(kCritical, "n", "critical");
  AddEvent(kMajor, "n", "major");
  AddEvent(kMinor, "n", "minor");
  AddEvent("Info", "n", "no digit");
  SetFormat(false, false, false, 0, false, true, 100);
  SuppGroupCheck(ctx);

  // A priority that does not begin with a digit counts as 0, the most severe of all.
  EXPECT_EQ(Entry(1).Mess, "critical>>major>>no digit");
  EXPECT_EQ(Entry(2).Mess, "major");
  EXPECT_EQ(Entry(3).Mess, "major>>minor");
  EXPECT_TRUE(Entry(4).Free());
}

TEST_F(SuppGroupCheckTest, GroupTextCompositionAndLimits) {
  AddGroup("g");
  AddEvent(kMajor, "router1", "Link down", "2018-06-26 14:05:00");
  AddEvent(kMajor, "router2", "Link down", "2018-06-26 14:05:02");
  SuppGroupCheck(ctx);
  EXPECT_EQ(Entry(1).Mess,
            "2018-06-26, 14:05:00, router1, 2 - Major, Link down>>"
            "2018-06-26, 14:05:02, router2, 2 - Major, Link down");
  EXPECT_EQ(Entry(1).RecvName[0], "g-r1");
  EXPECT_EQ(Entry(1).RecvType[0], "PhoneMO");
  EXPECT_EQ(Entry(1).RecvName[1], "None");
  EXPECT_EQ(Entry(1).RecvType[1], "MailSMTP");

  // Character limits count characters, and negative ones count as 0.
  SetFormat(false, true, true, 3, true, true, -5);
  ctx.events.Clear();
  AddEvent(kMinor, "äöüß-node", "gone");
  SuppGroupCheck(ctx);
  // The empty message part leaves ", , " of which only the last ", " goes.
  EXPECT_EQ(Entry(1).Mess, "10:14:58, äöü, 3 - Minor, ");

  // With every part switched off, a single event leaves an empty text but a used entry.
  SetFormat(false, false, false, 10, false, false, 10);
  ctx.events.Clear();
  AddEvent(kMinor, "n", "m");
  SuppGroupCheck(ctx);
  EXPECT_EQ(Entry(1).Name, "g");
  EXPECT_EQ(Entry(1).Mess, "");
  AddEvent(kMinor, "n", "m");
  SuppGroupCheck(ctx);
  EXPECT_EQ(Entry(1).Mess, ">>");
}

TEST_F(SuppGroupCheckTest, OnlyEnabledGroupsOnDutyTakeEntries) {
  AddGroup("disabled", {{"Enabled", "0"}});
  AddGroup("first");
  AddGroup("off-friday", {{"DutyTimeFri", "0"}});
  AddGroup("off-this-hour", {{"DutyTimeFri", std::to_string(16777215 - (1 << 10))}});
  AddGroup("second", {{"DutyTimeFri", std::to_string(1 << 10)}});
  AddEvent(kMajor, "n", "m");
  SuppGroupCheck(ctx);
  EXPECT_EQ(Entry(1).Name, "first");
  EXPECT_EQ(Entry(2).Name, "second");
  EXPECT_EQ(UsedEntries(), 2);

  // The table is rebuilt from empty on every run.
  ctx.events.Clear();
  SuppGroupCheck(ctx);
  EXPECT_EQ(UsedEntries(), 0);
}

TEST_F(SuppGroupCheckTest, MoreThan255GroupsOnDutyIsAnErrorAfterTheFirst255) {
  {
    Database db = Db();
    db.Begin();
    Table t = db.Open("SuppGrp_Perm");
    for (int i = 1; i <= 256; ++i) {
      t.AddNew();
      t.Set("Name", "g" + std::to_string(i));
      t.Set("Enabled", true);
      t.Set("DutyTimeFri", 16777215);
      t.Set("Priority", "5");
      t.Set("PrioritySearch", "<=");
      t.Set("NodeName", "*");
      t.Set("NodeNameSearch", "=");
      t.Set("Message", "*");
      t.Set("MessageSearch", "=");
      t.Update();
    }
    db.Commit();
  }
  AddEvent(kMajor, "n", "m");
  SuppGroupCheck(ctx);
  EXPECT_EQ(UsedEntries(), 255);
  EXPECT_EQ(Entry(255).Name, "g255");
  ASSERT_EQ(Entries(evt::kRuntimeError).size(), 1u);
  EXPECT_EQ(Entries(evt::kRuntimeError)[0], "[9] Subscript out of range (Module: SuppGroupCheck)");
}

TEST_F(SuppGroupCheckTest, AcknowledgementRequestsAndTheTextCut) {
  AddGroup("ack", {{"ReqAck", "1"}, {"ReqAckWait", "15"}, {"ReqAckMaxRem", "3"}});
  AddGroup("ack2", {{"ReqAck", "1"}, {"ReqAckWait", "60"}, {"ReqAckMaxRem", "0"},
                    {"NodeName", "big"}});
  AddGroup("noack", {{"Message", "x*"}});
  SetFormat(false, false, true, 10, false, true, 30000);
  ctx.ReqAckIdCounter = 998;
  AddEvent(kMajor, "small", "m1");
  AddEvent(kMajor, "big", std::string(30000, 'x'));
  SuppGroupCheck(ctx);

  EXPECT_EQ(Entry(1).Mess.substr(0, 22), "<ID=999> small, m1>>bi");
  EXPECT_EQ(Entry(1).Mess.size(), 25000u + 9u) << "cut to 25000 before the prefix";
  EXPECT_EQ(Entry(2).Mess.substr(0, 15), "<ID=901> big, x");
  EXPECT_EQ(Entry(2).Mess.size(), 25000u + 9u);
  EXPECT_EQ(Entry(3).Mess.size(), 25000u) << "no prefix without a request";
  EXPECT_EQ(ctx.ReqAckIdCounter, 901);

  auto ack = Lines("ReqAck.log");
  ASSERT_EQ(ack.size(), 2u);
  EXPECT_EQ(ack[0], "ack\t999\t2026-06-26 10:30:00\t3\t" + Entry(1).Mess);
  EXPECT_EQ(ack[1], "ack2\t901\t2026-06-26 11:15:00\t0\t" + Entry(2).Mess);

  // A group that sent nothing asks for nothing.
  ctx.events.Clear();
  AddEvent(kMajor, "other", "y");
  SuppGroupCheck(ctx);
  EXPECT_EQ(Lines("ReqAck.log").size(), 3u);
  EXPECT_EQ(ctx.ReqAckIdCounter, 902);
}

TEST_F(SuppGroupCheckTest, CorrelationHoldsDownsAndSkipsDuplicates) {
  AddCorrelatingGroup("corr", 10, {{"SkipDupEvent", "1"}, {"CriteriaDupEvent", "First Part Equal"}});
  AddCorrelatingGroup("first-down", 5, {{"SendMessFirstDown", "1"}, {"NodeName", "r2"}});
  AddEvent(kMajor, "r1", "Link down eth0");
  AddEvent(kMajor, "r1", "Link down eth1");  // same first half: a duplicate of the first
  AddEvent(kMajor, "r2", "Fan failure");
  SuppGroupCheck(ctx);

  auto hq = HoldQueue();
  ASSERT_EQ(hq.size(), 3u);
  EXPECT_EQ(hq[0], "corr\t2026-06-26 10:25:00\t2026-06-26 10:14:58\t2 - Major\tr1\tLink down eth0\tFalse");
  EXPECT_EQ(hq[1], "corr\t2026-06-26 10:25:00\t2026-06-26 10:14:58\t2 - Major\tr2\tFan failure\tFalse");
  EXPECT_EQ(hq[2], "first-down\t2026-06-26 10:20:00\t2026-06-26 10:14:58\t2 - Major\tr2\tFan failure\tFalse");
  EXPECT_TRUE(Entry(1).Free()) << "held downs are not sent";
  EXPECT_EQ(Entry(2).Mess, "2026-06-26, 10:14:58, r2, 2 - Major, Fan failure");

  // The same events next cycle: duplicates of held entries are neither sent nor held again.
  SuppGroupCheck(ctx);
  EXPECT_EQ(HoldQueue().size(), 4u) << "only first-down, which does not skip duplicates, holds again";
}

TEST_F(SuppGroupCheckTest, UpEventsAreSentOnlyWithoutAHeldDown) {
  AddCorrelatingGroup("up-sent", 10, {{"SendUpNotInQueue", "1"}});
  AddCorrelatingGroup("up-quiet", 10, {{"SendUpNotInQueue", "0"}});
  AddEvent(kMajor, "held-node", "down");
  SuppGroupCheck(ctx);
  ASSERT_EQ(HoldQueue().size(), 2u);

  ctx.events.Clear();
  AddEvent(kNormal, "held-node", "up");
  AddEvent(kNormal, "free-node", "up");
  SuppGroupCheck(ctx);
  EXPECT_EQ(Entry(1).Mess, "2026-06-26, 10:14:58, free-node, 5 - Normal, up");
  EXPECT_TRUE(Entry(2).Free());
  EXPECT_EQ(HoldQueue().size(), 2u) << "up events are never held";
}

TEST_F(SuppGroupCheckTest, DuplicateCriteria) {
  const std::string held = "Interface eth0 down";  // 19 characters
  AddCorrelatingGroup("whole", 10, {{"SkipDupEvent", "1"}, {"CriteriaDupEvent", "Whole String Equal"}});
  AddCorrelatingGroup("first", 10, {{"SkipDupEvent", "1"}, {"CriteriaDupEvent", "First Part Equal"}});
  AddCorrelatingGroup("last", 10, {{"SkipDupEvent", "1"}, {"CriteriaDupEvent", "Last Part Equal"}});
  AddCorrelatingGroup("any", 10, {{"SkipDupEvent", "1"}, {"CriteriaDupEvent", "Any String Valid"}});
  AddCorrelatingGroup("other", 10, {{"SkipDupEvent", "1"}, {"CriteriaDupEvent", "whole string equal"}});
  AddEvent(kMajor, "sw", held);
  SuppGroupCheck(ctx);
  ASSERT_EQ(HoldQueue().size(), 5u);

  auto dup = [&](const char* group, const char* criteria, const std::string& message,
                 const char* priority = kMajor, const char* node = "sw") {
    return TestForDuplicate_Hq(ctx, group, criteria, priority, node, message);
  };
  EXPECT_TRUE(dup("whole", "Whole String Equal", held));
  EXPECT_FALSE(dup("whole", "Whole String Equal", held + " "));
  EXPECT_TRUE(dup("first", "First Part Equal", "Interface eXXXXXXXX"));  // first 9 equal
  EXPECT_FALSE(dup("first", "First Part Equal", "Interfac_ eth0 down"));
  EXPECT_TRUE(dup("last", "Last Part Equal", "XXXXXXXXXXeth0 down"));
  EXPECT_FALSE(dup("last", "Last Part Equal", "Interface eth0 dow_"));
  EXPECT_FALSE(dup("first", "First Part Equal", ""));
  EXPECT_TRUE(dup("any", "Any String Valid", "anything"));
  EXPECT_FALSE(dup("other", "whole string equal", held)) << "criteria words are exact";
  EXPECT_FALSE(dup("any", "Any String Valid", held, kMinor)) << "priority must be equal";
  EXPECT_FALSE(dup("any", "Any String Valid", held, kMajor, "SW")) << "node is case-sensitive";
  EXPECT_FALSE(dup("Any", "Any String Valid", held)) << "group is case-sensitive";

  // Held messages are cut to 400 characters, so a longer one is never a whole-string duplicate.
  std::string longMessage(401, 'L');
  ctx.events.Clear();
  AddEvent(kMajor, "long", longMessage);
  SuppGroupCheck(ctx);
  EXPECT_EQ(HoldQueue().back().find(std::string(401, 'L')), std::string::npos);
  EXPECT_NE(HoldQueue().back().find(std::string(400, 'L') + "\tFalse"), std::string::npos);
  EXPECT_FALSE(TestForDuplicate_Hq(ctx, "whole", "Whole String Equal", kMajor, "long", longMessage));
  EXPECT_TRUE(TestForDuplicate_Hq(ctx, "whole", "Whole String Equal", kMajor, "long",
                                  std::string(400, 'L')));
}

TEST_F(SuppGroupCheckTest, TabsAndLineBreaksInNamesKeepTheHoldQueueReadable) {
  AddCorrelatingGroup("team\tA", 10, {{"SkipDupEvent", "1"}, {"CriteriaDupEvent", "Whole String Equal"}});
  AddEvent(kMajor, "node\r\nx", "multi\tpart\nmessage");
  SuppGroupCheck(ctx);
  auto hq = HoldQueue();
  ASSERT_EQ(hq.size(), 1u);
  EXPECT_EQ(hq[0], "team A\t2026-06-26 10:25:00\t2026-06-26 10:14:58\t2 - Major\tnode  x\t"
                   "multi part message\tFalse");
  EXPECT_TRUE(TestForName_Hq(ctx, "team\tA", "node\r\nx"));
  // The second identical event is found as a duplicate of the first.
  SuppGroupCheck(ctx);
  EXPECT_EQ(HoldQueue().size(), 1u);
}

TEST_F(SuppGroupCheckTest, HugeAndEmptyTextsPassThrough) {
  AddCorrelatingGroup("hold", 10, {{"Message", "*x"}});
  AddGroup("empty-node", {{"NodeName", "?*"}, {"NodeNameSearch", "!="}});
  SetFormat(false, false, true, 10, false, true, 70000);
  const std::string huge(65536, 'x');
  AddEvent(kMajor, huge, huge);
  AddEvent(kMajor, "", "");
  SuppGroupCheck(ctx);

  auto hq = HoldQueue();
  ASSERT_EQ(hq.size(), 1u);
  EXPECT_EQ(hq[0].size(), 62u + 65536u + 400u);
  EXPECT_TRUE(TestForName_Hq(ctx, "hold", huge));
  EXPECT_EQ(Entry(2).Mess, ", ") << "only the event with the empty node name";
  EXPECT_EQ(ctx.ErrorCount, 0);
}

TEST_F(SuppGroupCheckTest, MalformedPatternIsReportedAndOtherGroupsStillMatch) {
  AddGroup("broken", {{"NodeName", "[abc"}});
  AddGroup("fine");
  AddEvent(kMajor, "a", "m1");
  AddEvent(kMajor, "b", "m2");
  SuppGroupCheck(ctx);
  EXPECT_TRUE(Entry(1).Free());
  EXPECT_EQ(Entry(2).Name, "fine");
  auto errors = Entries(evt::kRuntimeError);
  ASSERT_EQ(errors.size(), 1u) << "one report per run, not one per event";
  EXPECT_EQ(errors[0], "[93] Invalid pattern string (Module: StringCompareText)");
}

TEST_F(SuppGroupCheckTest, TraceDumpsTheUsedEntries) {
  ctx.DebugMode = "Filter Process";
  SuppGroupCheck(ctx);  // no groups: no trace
  EXPECT_FALSE(FileExists(File("Debug/Filter_Process.txt")));

  AddGroup("off", {{"NodeName", "nothing"}});
  AddGroup("g");
  AddEvent(kMajor, "n", "m");
  SuppGroupCheck(ctx);
  std::vector<std::string> expected = {
      "2026-06-26 10:15:00 ***** Support Groups *****",
      "",
      "SuppGrpName(2)=g",
      "SuppGrpMess(2)=2026-06-26, 10:14:58, n, 2 - Major, m",
      "SuppGrpRecvName1(2)=g-r1",
      "SuppGrpRecvType1(2)=PhoneMO",
      "SuppGrpRecvName2(2)=None",
      "SuppGrpRecvType2(2)=MailSMTP",
      "SuppGrpRecvName3(2)=None",
      "SuppGrpRecvType3(2)=",
      "SuppGrpRecvName4(2)=None",
      "SuppGrpRecvType4(2)=",
      "SuppGrpRecvName5(2)=None",
      "SuppGrpRecvType5(2)=",
      "",
      ""};
  EXPECT_EQ(Lines("Debug/Filter_Process.txt"), expected);
}

}  // namespace
}  // namespace varnel
