#include "filter/hold_queue.h"

#include <gtest/gtest.h>

#include "filter_fixture.h"

namespace varnel {
namespace {

using HoldQueueTest = testing::FilterTest;

TEST_F(HoldQueueTest, OneReminderAfterRemindTimerThenExpiry) {
  Columns remind = {{"RemindTimer", "4"}, {"RemindOnce", "1"}, {"SendMessWhenExp", "1"}};
  AddCorrelatingGroup("r4", 10, remind);
  remind["RemindTimer"] = "12";
  AddCorrelatingGroup("r12", 10, remind);
  SetFormat("NM");
  AddEvent(kMajor, "r1", "Link down");
  SuppGroupCheck(ctx);  // held at 10:15:00 until 10:25:00
  ctx.events.Clear();

  RunHqAt("2026-06-26 10:19:00");  // exactly 4 minutes: not yet
  EXPECT_EQ(SentHq(), Texts{});
  RunHqAt("2026-06-26 10:19:01");  // a RemindTimer beyond the HoldTimer never reminds
  EXPECT_EQ(SentHq(), (Texts{{1, "r1, Link down"}}));
  RunHqAt("2026-06-26 10:22:00");
  EXPECT_EQ(SentHq(), Texts{}) << "one reminder only";
  RunHqAt("2026-06-26 10:25:00");
  EXPECT_EQ(SentHq(), Texts{});
  RunHqAt("2026-06-26 10:25:01");
  EXPECT_EQ(SentHq(), (Texts{{1, "r1, Link down"}, {2, "r1, Link down"}}));
  EXPECT_FALSE(FileExists(File("Hold_Queue.log")));
}

TEST_F(HoldQueueTest, UpEventsClearByTheirMessageTestButAlwaysSendTheirText) {
  Columns up = {{"HoldTimer", "10"}, {"MessageUp", "First Part Equal"}, {"SendMessWhenUp", "1"}};
  AddGroup("clear", up);
  up["MessageUp"] = "Whole String Equal";
  AddGroup("whole", up);
  SetFormat("NM");
  const std::string later = "2026-06-26 10:25:00";
  Hold({Line("clear", later, "r1", "Port 7 down"), Line("clear", later, "r2", "Port 9 down"),
        Line("clear", later, "r2", "Port 9 down again"), Line("whole", later, "r1", "Port 7 down")});
  AddEvent(kNormal, "r1", "Port 7 up");  // first half "Port" equal: clears
  AddEvent(kNormal, "r2", "Fan ok");     // fails the message test: clears nothing
  AddEvent(kMajor, "r1", "Port 7 up");   // not an up priority
  AddEvent(kNormal, "R1", "Port 7 up");  // node differs in case
  RunHqAt("2026-06-26 10:16:00");

  // The failing up text goes out once per held entry of its node; Whole String Equal never clears.
  EXPECT_EQ(SentHq(), (Texts{{1, "r1, Port 7 up>>r2, Fan ok>>r2, Fan ok"}, {2, "r1, Port 7 up"}}));
  EXPECT_EQ(HoldQueue(), (Strings{Line("clear", later, "r2", "Port 9 down"),
                                  Line("clear", later, "r2", "Port 9 down again"),
                                  Line("whole", later, "r1", "Port 7 down")}));
}

TEST_F(HoldQueueTest, ExpiryDropsAlarmsNotEscalatedNorSentAndWithRemindersGoesBeforeUps) {
  AddGroup("g", {{"HoldTimer", "10"}, {"RemindTimer", "4"}, {"RemindOnce", "1"},
                 {"MessageUp", "Any String Valid"}, {"SendMessWhenUp", "1"}});
  SetFormat("NM");
  Hold({Line("g", "2026-06-26 10:20:00", "expiring", "down"),
        Line("g", "2026-06-26 10:30:00", "reminding", "down"),
        Line("g", "2026-06-26 10:30:00", "waiting", "down", "True")});
  for (const char* node : {"expiring", "reminding", "waiting"}) AddEvent(kNormal, node, "up");
  RunHqAt("2026-06-26 10:26:30");
  // The expired entry is gone unsent; the reminded one does not see its up event.
  EXPECT_EQ(SentHq(), (Texts{{1, "reminding, down>>waiting, up"}}));
  EXPECT_EQ(HoldQueue(), Strings{Line("g", "2026-06-26 10:30:00", "reminding", "down", "True")});
  EXPECT_FALSE(FileExists(File("Event.log")));
}

TEST_F(HoldQueueTest, DuplicateAndClearingCriteria) {
  const std::string held = "Interface eth0 down";  // 19 characters: halves of 9
  Hold({Line("g", "2026-06-26 10:25:00", "sw", held)});
  struct Row { const char* criteria; std::string message; bool duplicate, clears; };
  const Row rows[] = {
      {"Whole String Equal", held, true, false}, {"Whole String Equal", held + " ", false, false},
      {"First Part Equal", "Interface eXXXXXXXX", true, true},
      {"First Part Equal", "Interfac_ eth0 down", false, false},
      {"First Part Equal", "", false, false},
      {"Last Part Equal", "XXXXXXXXXXeth0 down", true, true},
      {"Last Part Equal", "Interface eth0 dow_", false, false},
      {"Any String Valid", "anything", true, true},
      // Criteria words are exact.
      {"whole string equal", held, false, false}, {"any string valid", "anything", false, false},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(TestForDuplicate_Hq(ctx, "g", r.criteria, kMajor, "sw", r.message), r.duplicate)
        << r.criteria << ": " << r.message;
    EXPECT_EQ(TestForMessage_Hq(held, r.message, r.criteria), r.clears)
        << r.criteria << ": " << r.message;
  }
  // Priority, node and group must be equal too, letter case included.
  EXPECT_FALSE(TestForDuplicate_Hq(ctx, "g", "Any String Valid", kMajor, "SW", held));
  EXPECT_FALSE(TestForDuplicate_Hq(ctx, "G", "Any String Valid", kMajor, "sw", held));
}

TEST_F(HoldQueueTest, GroupTextsOver2500AreCutTo2400AndIdsWrap) {
  AddGroup("exact", {{"SendMessWhenExp", "1"}});
  AddGroup("over", {{"SendMessWhenExp", "1"}, {"ReqAck", "1"}});
  SetFormat("M");
  // Nine texts of 276 characters and eight ">>" make exactly 2500.
  std::string exact, over;
  for (int i = 0; i < 9; ++i) {
    const std::string a(276, 'a'), b(i == 0 ? 277 : 276, 'b');
    Hold({Line("exact", "2026-06-26 10:00:00", "n", a), Line("over", "2026-06-26 10:00:00", "n", b)});
    exact += (i ? ">>" : "") + a;
    over += (i ? ">>" : "") + b;
  }
  ctx.ReqAckIdCounter = 999;
  RunHqAt("2026-06-26 10:15:00");
  EXPECT_EQ(SentHq(), (Texts{{1, exact}, {2, "<ID=901> " + over.substr(0, 2400)}}));
  EXPECT_EQ(ctx.ReqAckIdCounter, 901);
}

TEST_F(HoldQueueTest, ReadsAtMost300EntriesAndWritesTheRestBackUnchanged) {
  AddGroup("g", {{"HoldTimer", "10"}});
  Strings lines = {"garbage before the entries"};
  for (int i = 0; i < 300; ++i)
    lines.push_back(Line("g", "2026-06-26 10:00:00", "n", std::to_string(i)));
  const Strings rest = {"short\tline", Line("g", "2026-06-26 10:00:00", "n", "301"),
                        std::string("bin\x01\x02\xff\x00", 7) + "ary"};
  lines.insert(lines.end(), rest.begin(), rest.end());
  Hold(lines);
  RunHqAt("2026-06-26 10:15:00");  // the 300 expire and go
  EXPECT_EQ(HoldQueue(), rest);
  RunHqAt("2026-06-26 10:15:05");
  EXPECT_FALSE(FileExists(File("Hold_Queue.log")));
}

TEST_F(HoldQueueTest, FailureBeforeTheRewriteChangesNothing) {
  AddGroup("esc", {{"EscalateWhenExp", "1"}, {"NewMessage", "$M"}, {"SendMessWhenExp", "1"},
                   {"ReqAck", "1"}});
  AddGroup("bad");
  Db().Exec("UPDATE SuppGrp_Perm SET HoldTimer = 'ten' WHERE Name = 'bad'");
  WriteBytes("Hold_Queue.log", Line("esc", "2026-06-26 10:00:00", "n", "m") + "\r\n" +
                                   Line("bad", "2026-06-26 10:00:00", "n", "m") + "\r\nrest\n");
  const std::string before = Bytes("Hold_Queue.log");
  ctx.ReqAckIdCounter = 950;
  RunHqAt("2026-06-26 10:15:00");

  EXPECT_EQ(Entries(evt::kRuntimeError),
            Strings{"[13] Type mismatch (SuppGrp_Perm.HoldTimer) (Module: SuppGroupCheck_Hq)"});
  EXPECT_EQ(Bytes("Hold_Queue.log"), before);
  EXPECT_EQ(SentHq(), Texts{}) << "nothing is sent that the file still holds";
  EXPECT_FALSE(FileExists(File("Event.log")));
  EXPECT_FALSE(FileExists(File("ReqAck.log")));
  EXPECT_EQ(ctx.ReqAckIdCounter, 950);
}

TEST_F(HoldQueueTest, GarbledFilesNeitherCrashNorLoseEntries) {
  AddGroup("g", {{"HoldTimer", "10"}, {"SendMessWhenExp", "1"}});
  SetFormat("NM");
  const std::string upper = Line("G", "2026-06-26 10:00:00", "case", "m");  // names are exact
  const std::string foreign = Line("other group", "2026-06-26 10:00:00", "n", "m");
  WriteBytes("Hold_Queue.log",
             std::string("\x00\x01\x02\xfe\xff\r\r\n", 8) + "\t\t\t\n" + std::string(65536, 'x') +
                 "\n" + Line("g", "2026-06-26 11:00:00", "kept", "m", "true") + "\n" +
                 Line("g", "not a time", "garbled", "m") + "\n" + upper + "\n" + foreign +
                 "\r\n" + "g\t\t\t\t\t\t");
  RunHqAt("2026-06-26 10:15:00");
  // An unreadable or empty expiry counts as passed.
  EXPECT_EQ(SentHq(), (Texts{{1, "garbled, m>>, "}}));
  EXPECT_EQ(HoldQueue(),
            (Strings{Line("g", "2026-06-26 11:00:00", "kept", "m", "True"), upper, foreign}));
  // A file without entries is deleted, and a missing file is nothing to do.
  WriteBytes("Hold_Queue.log", "no tabs here\n\t\t\n");
  RunHqAt("2026-06-26 10:15:05");
  EXPECT_FALSE(FileExists(File("Hold_Queue.log")));
  RunHqAt("2026-06-26 10:15:10");
  EXPECT_EQ(ctx.ErrorCount, 0);
}

}  // namespace
}  // namespace varnel
