#include "filter/hold_queue.h"

#include <gtest/gtest.h>

#include "filter_fixture.h"

namespace varnel {
namespace {

using HoldQueueTest = testing::FilterTest;

TEST_F(HoldQueueTest, OneReminderAfterRemindTimerThenExpiryGoesBeforeUps) {
  Columns remind = {{"HoldTimer", "10"},
                    {"RemindTimer", "4"},
                    {"RemindOnce", "1"},
                    {"SendMessWhenExp", "1"},
                    {"MessageUp", "Any String Valid"},
                    {"SendMessWhenUp", "1"}};
  AddGroup("r4", remind);
  remind["RemindTimer"] = "12";  // beyond the HoldTimer: never reminds
  AddGroup("r12", remind);
  SetFormat("NM");
  const std::string expiry = "2026-06-26 10:25:00";
  Hold({Line("r4", expiry, "n", "down"), Line("r12", expiry, "n", "down")});
  const Texts none, first = {{1, "n, down"}}, both = {{1, "n, down"}, {2, "n, down"}};
  // Reminders after 10:19:00, one only; expiry after 10:25:00, where the up is not seen.
  for (auto [time, sent] : {std::pair{"10:19:00", none},
                            {"10:19:01", first},
                            {"10:22:00", none},
                            {"10:25:00", none},
                            {"10:25:01", both}}) {
    if (std::string(time) == "10:25:01") AddEvent(kNormal, "n", "up");
    RunHqAt(std::string("2026-06-26 ") + time);
    EXPECT_EQ(SentHq(), sent) << time;
  }
  EXPECT_FALSE(FileExists(File("Hold_Queue.log")));
}

// Clearing all entries of a node by its up event is followed end to end.
TEST_F(HoldQueueTest, AnUpThatFailsTheMessageTestIsStillSentAndOthersAreNoUps) {
  AddGroup("g", {{"HoldTimer", "10"}, {"MessageUp", "First Part Equal"}, {"SendMessWhenUp", "1"}});
  SetFormat("NM");
  Hold({Line("g", "2026-06-26 10:25:00", "r1", "Port 7 down")});
  AddEvent(kNormal, "r1", "Fan ok");     // fails the message test
  AddEvent(kMajor, "r1", "Port 7 up");   // not an up priority
  AddEvent(kNormal, "R1", "Port 7 up");  // node differs in case
  RunHqAt("2026-06-26 10:16:00");
  EXPECT_EQ(SentHq(), (Texts{{1, "r1, Fan ok"}}));
  EXPECT_EQ(HoldQueue().size(), 1u);
}

TEST_F(HoldQueueTest, DuplicateAndClearingCriteria) {
  const std::string held = "Interface eth0 down";  // 19 characters: halves of 9
  Hold({Line("g", "2026-06-26 10:25:00", "sw", held)});
  struct Row {
    const char* criteria;
    std::string message;
    bool duplicate, clears;
  };
  const Row rows[] = {
      {"Whole String Equal", held, true, false},
      {"Whole String Equal", held + " ", false, false},
      {"First Part Equal", "Interface eXXXXXXXX", true, true},
      {"First Part Equal", "Interfac_ eth0 down", false, false},
      {"First Part Equal", "", false, false},
      {"Last Part Equal", "XXXXXXXXXXeth0 down", true, true},
      {"Last Part Equal", "Interface eth0 dow_", false, false},
      {"Any String Valid", "anything", true, true},
      // Criteria words are exact.
      {"whole string equal", held, false, false},
      {"any string valid", "anything", false, false},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(TestForDuplicate_Hq(ctx, "g", r.criteria, kMajor, "sw", r.message), r.duplicate)
        << r.criteria << ": " << r.message;
    EXPECT_EQ(TestForMessage_Hq(held, r.message, r.criteria), r.clears)
        << r.criteria << ": " << r.message;
  }
  // Priority, node and group must be equal too, letter case included.
  EXPECT_FALSE(TestForDuplicate_Hq(ctx, "g", "Any String Valid", kMinor, "sw", held));
  EXPECT_FALSE(TestForDuplicate_Hq(ctx, "g", "Any String Valid", kMajor, "SW", held));
  EXPECT_FALSE(TestForDuplicate_Hq(ctx, "G", "Any String Valid", kMajor, "sw", held));
}

TEST_F(HoldQueueTest, GroupTextsOverTheLimitAreCut) {
  AddGroup("exact", {{"SendMessWhenExp", "1"}});
  AddGroup("over", {{"SendMessWhenExp", "1"}});
  SetFormat("M");
  // Nine texts of 276 characters and eight ">>" make exactly 2500.
  std::string exact, over;
  for (int i = 0; i < 9; ++i) {
    const std::string a(276, 'a'), b(i == 0 ? 277 : 276, 'b');
    Hold({Line("exact", "2026-06-26 10:00:00", "n", a),
          Line("over", "2026-06-26 10:00:00", "n", b)});
    exact += (i ? ">>" : "") + a;
    over += (i ? ">>" : "") + b;
  }
  RunHqAt("2026-06-26 10:15:00");
  EXPECT_EQ(SentHq(), (Texts{{1, exact}, {2, over.substr(0, 2400)}}));
}

TEST_F(HoldQueueTest, ReadsAtMost300EntriesAndAnUnreadableExpiryCountsAsPassed) {
  AddGroup("g", {{"HoldTimer", "10"}, {"SendMessWhenExp", "1"}});
  SetFormat("N");
  Strings lines = {"not an entry", Line("g", "not a time", "garbled", "m")};
  for (int i = 0; i < 299; ++i) lines.push_back(Line("g", "2026-06-26 10:00:00", "n", "m"));
  const Strings rest = {"short\tline", Line("g", "2026-06-26 10:00:00", "n", "301")};
  lines.insert(lines.end(), rest.begin(), rest.end());
  Hold(lines);
  RunHqAt("2026-06-26 10:15:00");
  EXPECT_EQ(SentHq().at(1).substr(0, 12), "garbled>>n>>");
  EXPECT_EQ(HoldQueue(), rest);
}

TEST_F(HoldQueueTest, FailureBeforeTheRewriteChangesNothing) {
  AddGroup(
      "esc",
      {{"EscalateWhenExp", "1"}, {"NewMessage", "$M"}, {"SendMessWhenExp", "1"}, {"ReqAck", "1"}});
  AddGroup("bad");
  Db().Exec("UPDATE SuppGrp_Perm SET HoldTimer = 'ten' WHERE Name = 'bad'");
  Hold(
      {Line("esc", "2026-06-26 10:00:00", "n", "m"), Line("bad", "2026-06-26 10:00:00", "n", "m")});
  const Strings before = HoldQueue();
  ctx.ReqAckIdCounter = 950;
  RunHqAt("2026-06-26 10:15:00");
  EXPECT_EQ(Entries(evt::kRuntimeError),
            Strings{"[13] Type mismatch (SuppGrp_Perm.HoldTimer) (Module: SuppGroupCheck_Hq)"});
  EXPECT_EQ(HoldQueue(), before);
  EXPECT_EQ(SentHq(), Texts{}) << "nothing is sent that the file still holds";
  EXPECT_FALSE(FileExists(File("Event.log")));
  EXPECT_FALSE(FileExists(File("ReqAck.log")));
  EXPECT_EQ(ctx.ReqAckIdCounter, 950);
}

}  // namespace
}  // namespace varnel
