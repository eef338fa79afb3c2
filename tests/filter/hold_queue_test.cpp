#include "filter/hold_queue.h"

#include <gtest/gtest.h>

#include "filter/supp_group.h"
#include "filter_fixture.h"
#include "service/errors.h"
#include "service/main_cycle.h"

namespace varnel {
namespace {

class HoldQueueTest : public testing::FilterTest {
 protected:
  const SuppGroupEntry& Hq(int g) { return ctx.filter.HqSuppGrp[g]; }
  int UsedEntries() {
    int n = 0;
    for (int g = 1; g <= kMaxSuppGroups; ++g) n += Hq(g).Free() ? 0 : 1;
    return n;
  }
  static std::string Line(const std::string& group, const std::string& expiry,
                          const std::string& node, const std::string& message,
                          const std::string& flag = "False") {
    return group + "\t" + expiry + "\t2026-06-26 10:14:58\t2 - Major\t" + node + "\t" + message +
           "\t" + flag;
  }
  void Hold(const std::vector<std::string>& lines) { AppendLines(File("Hold_Queue.log"), lines); }
  void RunAt(const std::string& time) {
    clock.Set(time);
    SuppGroupCheck_Hq(ctx);
  }
};

TEST_F(HoldQueueTest, OneReminderAfterRemindTimerThenExpiry) {
  AddCorrelatingGroup("r4", 10, {{"RemindTimer", "4"}, {"RemindOnce", "1"}, {"SendMessWhenExp", "1"}});
  AddCorrelatingGroup("r12", 10, {{"RemindTimer", "12"}, {"RemindOnce", "1"}, {"SendMessWhenExp", "1"}});
  AddEvent(kMajor, "r1", "Link down");
  SuppGroupCheck(ctx);  // held at 10:15:00, expiring 10:25:00
  ASSERT_EQ(HoldQueue().size(), 2u);
  ctx.events.Clear();
  const std::string text = "2026-06-26, 10:14:58, r1, 2 - Major, Link down";

  RunAt("2026-06-26 10:19:00");  // exactly 4 minutes: not yet
  EXPECT_EQ(UsedEntries(), 0);
  RunAt("2026-06-26 10:19:01");
  EXPECT_EQ(Hq(1).Name, "r4");
  EXPECT_EQ(Hq(1).Mess, text);
  EXPECT_EQ(Hq(1).RecvName[0], "r4-r1");
  EXPECT_TRUE(Hq(2).Free()) << "a RemindTimer beyond the HoldTimer never reminds";
  EXPECT_EQ(HoldQueue()[0], "r4\t2026-06-26 10:25:00\t2026-06-26 10:14:58\t2 - Major\tr1\tLink down\tTrue");

  RunAt("2026-06-26 10:22:00");  // only one reminder
  RunAt("2026-06-26 10:25:00");
  EXPECT_EQ(UsedEntries(), 0);
  EXPECT_EQ(HoldQueue().size(), 2u);

  RunAt("2026-06-26 10:25:01");
  EXPECT_EQ(Hq(1).Mess, text);
  EXPECT_EQ(Hq(2).Mess, text);
  EXPECT_FALSE(FileExists(File("Hold_Queue.log"))) << "nothing left to hold";
}

TEST_F(HoldQueueTest, ExpiryEscalatesOrDropsSilently) {
  AddGroup("silent", {{"HoldTimer", "10"}});
  AddGroup("esc-m", {{"HoldTimer", "10"}, {"EscalateWhenExp", "1"}, {"NewPriority", "1 - Critical"},
                     {"NewNodeName", "escalation"}, {"NewMessage", "$M"}});
  AddGroup("esc-text", {{"HoldTimer", "10"}, {"EscalateWhenExp", "1"}, {"SendMessWhenExp", "1"},
                        {"NewPriority", "2 - Major"}, {"NewNodeName", "duty"},
                        {"NewMessage", "Call the duty manager $M"}});
  Hold({Line("silent", "2026-06-26 10:20:00", "n1", "gone quietly"),
        Line("esc-m", "2026-06-26 10:20:00", "n2", "disk full"),
        Line("esc-text", "2026-06-26 10:20:00", "n3", "fan failure")});
  RunAt("2026-06-26 10:21:00");

  EXPECT_TRUE(Hq(1).Free()) << "an expired alarm without escalation or sending is dropped";
  EXPECT_TRUE(Hq(2).Free());
  EXPECT_EQ(Hq(3).Mess, "2026-06-26, 10:14:58, n3, 2 - Major, fan failure");
  std::vector<std::string> expected = {
      "2026-06-26 10:21:00\t1 - Critical\tescalation\t2026-06-26, 10:14:58, n2, 2 - Major, disk full",
      "2026-06-26 10:21:00\t2 - Major\tduty\tCall the duty manager $M"};
  EXPECT_EQ(Lines("Event.log"), expected);
  EXPECT_FALSE(FileExists(File("Hold_Queue.log")));
}

TEST_F(HoldQueueTest, UpEventsClearHeldEntries) {
  Columns up = {{"HoldTimer", "10"}, {"PriorityUp", "5 - Normal"}, {"PrioritySearchUp", "="},
                {"MessageUp", "First Part Equal"}, {"SendMessWhenUp", "1"}};
  AddGroup("clear", up);
  up["MessageUp"] = "Whole String Equal";
  AddGroup("whole", up);
  SetFormat(false, false, true, 50, false, true, 100);
  Hold({Line("clear", "2026-06-26 10:25:00", "r1", "Port 7 down"),
        Line("clear", "2026-06-26 10:25:00", "r2", "Port 9 down"),
        Line("clear", "2026-06-26 10:25:00", "r2", "Port 9 down again"),
        Line("whole", "2026-06-26 10:25:00", "r1", "Port 7 down")});
  AddEvent(kNormal, "r1", "Port 7 up");  // first half "Port" equal: clears
  AddEvent(kNormal, "r2", "Fan ok");     // fails the message test: clears nothing
  AddEvent(kMajor, "r1", "Port 7 up");   // not an up priority
  AddEvent(kNormal, "R1", "Port 7 up");  // node differs in case
  RunAt("2026-06-26 10:16:00");

  // The failing up event still sends its text, once per held entry of its node.
  EXPECT_EQ(Hq(1).Mess, "r1, Port 7 up>>r2, Fan ok>>r2, Fan ok");
  EXPECT_EQ(Hq(2).Mess, "r1, Port 7 up") << "sent, but Whole String Equal never clears";
  auto hq = HoldQueue();
  ASSERT_EQ(hq.size(), 3u);
  EXPECT_EQ(hq[0], Line("clear", "2026-06-26 10:25:00", "r2", "Port 9 down"));
  EXPECT_EQ(hq[1], Line("clear", "2026-06-26 10:25:00", "r2", "Port 9 down again"));
  EXPECT_EQ(hq[2], Line("whole", "2026-06-26 10:25:00", "r1", "Port 7 down"));
}

TEST_F(HoldQueueTest, ExpiryAndReminderTakePrecedenceOverUpEvents) {
  AddGroup("g", {{"HoldTimer", "10"}, {"RemindTimer", "4"}, {"RemindOnce", "1"},
                 {"PriorityUp", "5 - Normal"}, {"PrioritySearchUp", "="},
                 {"MessageUp", "Any String Valid"}, {"SendMessWhenUp", "1"}});
  SetFormat(false, false, true, 50, false, true, 100);
  Hold({Line("g", "2026-06-26 10:20:00", "expiring", "down"),
        Line("g", "2026-06-26 10:30:00", "reminding", "down"),
        Line("g", "2026-06-26 10:30:00", "waiting", "down", "True")});
  AddEvent(kNormal, "expiring", "up");
  AddEvent(kNormal, "reminding", "up");
  AddEvent(kNormal, "waiting", "up");
  RunAt("2026-06-26 10:26:30");

  // Only the entry that neither expired nor fell due for its reminder sees its up event.
  EXPECT_EQ(Hq(1).Mess, "reminding, down>>waiting, up");
  auto hq = HoldQueue();
  ASSERT_EQ(hq.size(), 1u);
  EXPECT_EQ(hq[0], Line("g", "2026-06-26 10:30:00", "reminding", "down", "True"));
}

TEST_F(HoldQueueTest, GroupTextCutAndAcknowledgement) {
  AddGroup("exact", {{"SendMessWhenExp", "1"}});
  AddGroup("over", {{"SendMessWhenExp", "1"}, {"ReqAck", "1"}, {"ReqAckWait", "5"}, {"ReqAckMaxRem", "2"}});
  SetFormat(false, false, false, 0, false, true, 1000);
  // Nine texts of 276 characters and eight ">>" make exactly 2500.
  for (int i = 0; i < 9; ++i) {
    Hold({Line("exact", "2026-06-26 10:00:00", "n", std::string(276, 'a'))});
    Hold({Line("over", "2026-06-26 10:00:00", "n", std::string(i == 0 ? 277 : 276, 'b'))});
  }
  ctx.ReqAckIdCounter = 999;
  RunAt("2026-06-26 10:15:00");
  EXPECT_EQ(Hq(1).Mess.size(), 2500u);
  EXPECT_EQ(Hq(2).Mess.size(), 2400u + 9u);
  EXPECT_EQ(Hq(2).Mess.substr(0, 12), "<ID=901> bbb");
  EXPECT_EQ(ctx.ReqAckIdCounter, 901);
  auto ack = Lines("ReqAck.log");
  ASSERT_EQ(ack.size(), 1u);
  EXPECT_EQ(ack[0], "over\t901\t2026-06-26 10:20:00\t2\t" + Hq(2).Mess);
}

TEST_F(HoldQueueTest, ReadsAtMost300EntriesAndKeepsTheRestUnchanged) {
  AddGroup("g", {{"HoldTimer", "10"}});
  std::vector<std::string> lines = {"garbage before the entries"};
  for (int i = 0; i < 300; ++i) lines.push_back(Line("g", "2026-06-26 10:00:00", "n", std::to_string(i)));
  std::vector<std::string> rest = {"short\tline", Line("g", "2026-06-26 10:00:00", "n", "301"),
                                   std::string("bin\x01\x02\xff\x00", 7) + "ary"};
  lines.insert(lines.end(), rest.begin(), rest.end());
  Hold(lines);

  RunAt("2026-06-26 10:15:00");  // the 300 expire and go; the lines after them stay
  EXPECT_EQ(HoldQueue(), rest);
  RunAt("2026-06-26 10:15:05");
  EXPECT_FALSE(FileExists(File("Hold_Queue.log")));
}

TEST_F(HoldQueueTest, FailureBeforeTheRewriteChangesNothing) {
  AddGroup("esc", {{"EscalateWhenExp", "1"}, {"NewMessage", "$M"}, {"SendMessWhenExp", "1"},
                   {"ReqAck", "1"}});
  AddGroup("bad");
  {
    Database db = Db();
    db.Exec("UPDATE SuppGrp_Perm SET HoldTimer = 'ten' WHERE Name = 'bad'");
  }
  WriteBytes("Hold_Queue.log", Line("esc", "2026-06-26 10:00:00", "n", "m") + "\r\n" +
                                   Line("bad", "2026-06-26 10:00:00", "n", "m") + "\r\nrest\n");
  const std::string before = Bytes("Hold_Queue.log");
  ctx.ReqAckIdCounter = 950;
  RunAt("2026-06-26 10:15:00");

  ASSERT_EQ(Entries(evt::kRuntimeError).size(), 1u);
  EXPECT_EQ(Entries(evt::kRuntimeError)[0],
            "[13] Type mismatch (SuppGrp_Perm.HoldTimer) (Module: SuppGroupCheck_Hq)");
  EXPECT_EQ(Bytes("Hold_Queue.log"), before);
  EXPECT_EQ(UsedEntries(), 0) << "nothing is sent that the file still holds";
  EXPECT_FALSE(FileExists(File("Event.log")));
  EXPECT_FALSE(FileExists(File("ReqAck.log")));
  EXPECT_EQ(ctx.ReqAckIdCounter, 950);
}

TEST_F(HoldQueueTest, GarbledFilesNeitherCrashNorLoseEntries) {
  AddGroup("g", {{"HoldTimer", "10"}, {"SendMessWhenExp", "1"}});
  SetFormat(false, false, true, 50, false, true, 100);
  const std::string keep = Line("g", "2026-06-26 11:00:00", "kept", "m", "true");
  const std::string foreign = Line("other group", "2026-06-26 10:00:00", "n", "m");
  WriteBytes("Hold_Queue.log",
             std::string("\x00\x01\x02\xfe\xff\r\r\n", 8) + "\t\t\t\n" + std::string(65536, 'x') +
                 "\n" + keep + "\n" + Line("g", "not a time", "garbled", "m") + "\n" +
                 Line("G", "2026-06-26 10:00:00", "case", "m") + "\n" + foreign + "\r\n" +
                 "g\t\t\t\t\t\t");
  RunAt("2026-06-26 10:15:00");

  // An unreadable expiry counts as passed; an empty one too.
  EXPECT_EQ(Hq(1).Mess, "garbled, m>>, ");
  auto hq = HoldQueue();
  ASSERT_EQ(hq.size(), 3u);
  EXPECT_EQ(hq[0], Line("g", "2026-06-26 11:00:00", "kept", "m", "True"));
  EXPECT_EQ(hq[1], Line("G", "2026-06-26 10:00:00", "case", "m")) << "group names are exact";
  EXPECT_EQ(hq[2], foreign) << "entries of unknown groups stay";
  EXPECT_EQ(ctx.ErrorCount, 0);

  // A file with no entry at all is deleted.
  WriteBytes("Hold_Queue.log", "no tabs here\n\t\t\n");
  RunAt("2026-06-26 10:15:05");
  EXPECT_FALSE(FileExists(File("Hold_Queue.log")));
  RunAt("2026-06-26 10:15:10");  // and a missing file is nothing to do
  EXPECT_EQ(ctx.ErrorCount, 0);
}

TEST_F(HoldQueueTest, HeldEntryOfAGroupBeyondRow255IsAnError) {
  {
    Database db = Db();
    db.Begin();
    Table t = db.Open("SuppGrp_Perm");
    for (int i = 1; i <= 256; ++i) {
      t.AddNew();
      t.Set("Name", "g" + std::to_string(i));
      t.Update();
    }
    db.Commit();
  }
  Hold({Line("g255", "2026-06-26 10:00:00", "n", "m")});
  RunAt("2026-06-26 10:15:00");
  EXPECT_FALSE(FileExists(File("Hold_Queue.log")));

  Hold({Line("g256", "2026-06-26 10:00:00", "n", "m")});
  const std::string before = Bytes("Hold_Queue.log");
  RunAt("2026-06-26 10:15:05");
  ASSERT_EQ(Entries(evt::kRuntimeError).size(), 1u);
  EXPECT_EQ(Entries(evt::kRuntimeError)[0], "[9] Subscript out of range (Module: SuppGroupCheck_Hq)");
  EXPECT_EQ(Bytes("Hold_Queue.log"), before);
}

TEST_F(HoldQueueTest, TraceAndTheMainCycle) {
  AddGroup("g", {{"SendMessWhenExp", "1"}, {"RecvType3", "PagerNum"}});
  SetFormat(false, false, true, 50, false, true, 100);
  Hold({Line("g", "2026-06-26 10:00:00", "n", "m")});
  ctx.DebugMode = "Debug All";
  clock.Set("2026-06-26 10:15:00");
  RunCycle(ctx);  // the hold queue runs even when the cycle brought no events

  std::vector<std::string> expected = {
      "2026-06-26 10:15:00 ***** Support Groups - Hold Queue *****",
      "",
      "HqSuppGrpName(1)=g",
      "HqSuppGrpMess(1)=n, m",
      "HqSuppGrpRecvName1(1)=g-r1",
      "HqSuppGrpRecvType1(1)=PhoneMO",
      "HqSuppGrpRecvName2(1)=None",
      "HqSuppGrpRecvType2(1)=MailSMTP",
      "HqSuppGrpRecvName3(1)=None",
      "HqSuppGrpRecvType3(1)=PagerNum",
      "HqSuppGrpRecvName4(1)=None",
      "HqSuppGrpRecvType4(1)=",
      "HqSuppGrpRecvName5(1)=None",
      "HqSuppGrpRecvType5(1)=",
      "",
      "",
      // The receiver is not in its table, so the send list stays empty.
      "2026-06-26 10:15:00 ***** Send List - Hold Queue *****",
      "",
      ""};
  EXPECT_EQ(Lines("Debug/Filter_Process.txt"), expected);
  EXPECT_FALSE(FileExists(File("Hold_Queue.log")));
}

TEST(TestForMessageHq, Criteria) {
  EXPECT_TRUE(TestForMessage_Hq("anything", "", "Any String Valid"));
  EXPECT_TRUE(TestForMessage_Hq("Port 7 down", "Port 7 up", "First Part Equal"));
  EXPECT_FALSE(TestForMessage_Hq("Port 7 down", "Pump 7 up", "First Part Equal"));
  EXPECT_FALSE(TestForMessage_Hq("", "", "First Part Equal"));
  EXPECT_TRUE(TestForMessage_Hq("eth0 link DOWN", "eth1 link DOWN", "Last Part Equal"));
  EXPECT_FALSE(TestForMessage_Hq("eth0 link DOWN", "eth1 link DOWx", "Last Part Equal"));
  EXPECT_FALSE(TestForMessage_Hq("same", "same", "Whole String Equal"));
  EXPECT_FALSE(TestForMessage_Hq("same", "same", "any string valid"));
}

TEST(HoldQueueLine, ParseAndFormat) {
  HeldEntry e;
  EXPECT_FALSE(ParseHoldQueueLine("a\tb\tc\td\te\tf", e));
  ASSERT_TRUE(ParseHoldQueueLine("a\tb\tc\td\te\tf\tg\th", e));
  EXPECT_EQ(e.Message, "f");
  EXPECT_EQ(e.Reminded, "g\th");
  EXPECT_EQ(FormatHoldQueueLine(e), "a\tb\tc\td\te\tf\tg h");
}

}  // namespace
}  // namespace varnel
