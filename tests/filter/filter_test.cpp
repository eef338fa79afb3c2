#include <gtest/gtest.h>
#include <map>

#include "filter/duty_time.h"
#include "filter/group_text.h"
#include "filter/hold_queue.h"
#include "filter/supp_group.h"
#include "filter/wildcard.h"
#include "platform/files.h"
#include "service/errors.h"
#include "support/test_support.h"

namespace varnel {
namespace {

// Fixture for the support group filter and the hold queue: groups in the real database,
// events in the event list, the drop files in the program directory. The message format
// starts as the default row: every part, node names up to 50 and messages up to 250.
class FilterTest : public testing::VarnelTest {
 protected:
  using Columns = std::map<std::string, std::string>;
  using Texts = std::map<int, std::string>;  // entry number -> alarm text
  using Strings = std::vector<std::string>;

  // The parts of the alarm texts by letter (Date, Time, Node, Priority, Message), and limits.
  void SetFormat(const std::string& parts, int nodeMax = 50, int messageMax = 1000) {
    // clang-format off
    const std::pair<char, const char*> columns[] = {{'D', "SendDate"}, {'T', "SendTime"},
        {'N', "SendNodeName"}, {'P', "SendPriority"}, {'M', "SendMessage"}};  // clang-format on
    Database db = Db();
    Table t = db.Open("Event_CheckInterval");
    for (const auto& [letter, column] : columns) t.Set(column, parts.find(letter) != parts.npos);
    t.Set("SendNodeNameMaxChar", nodeMax);
    t.Set("SendMessageMaxChar", messageMax);
    t.Update();
  }

  // A group that is enabled, on duty all week, and matches every event unless overridden;
  // with copies, as many groups name1, name2, ...
  void AddGroup(const std::string& name, Columns c = {}, int copies = 0) {
    // clang-format off
    c.insert({{"Name", name}, {"Enabled", "1"}, {"Priority", "5 - Normal"},
                 {"PrioritySearch", "<="}, {"NodeName", "*"}, {"NodeNameSearch", "="},
                 {"Message", "*"}, {"MessageSearch", "="}, {"RecvName1", name + "-r1"},
                 {"RecvType1", "PhoneMO"}, {"PriorityUp", "5 - Normal"}, {"PrioritySearchUp", "="}});
    // clang-format on
    for (const char* day : {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"})
      c.insert({std::string("DutyTime") + day, "16777215"});
    Database db = Db();
    db.Begin();
    Table t = db.Open("SuppGrp_Perm");
    for (int i = copies ? 1 : 0; i <= copies; ++i) {
      t.AddNew();
      for (const auto& [k, v] : c) t.Set(k, k == "Name" && i ? name + std::to_string(i) : v);
      t.Update();
    }
    db.Commit();
  }
  // A correlating group: down events held for holdMinutes, "5 - Normal" is up.
  void AddCorrelatingGroup(const std::string& name, int holdMinutes, Columns more = {}) {
    more.emplace("Correlation", "1");
    more.emplace("HoldTimer", std::to_string(holdMinutes));
    AddGroup(name, more);
  }
  void AddEvent(const std::string& priority, const std::string& node, const std::string& message) {
    ASSERT_TRUE(ctx.events.Append("2026-06-26 10:14:58", priority, node, message, "Syslog"));
  }

  // The used entries of a group table.
  static Texts Sent(const SuppGroupTable& table) {
    Texts out;
    for (int k = 1; k <= kMaxSuppGroups; ++k)
      if (!table[k].Free()) out[k] = table[k].Mess;
    return out;
  }
  Texts Sent() const { return Sent(ctx.filter.SuppGrp); }
  Texts SentHq() const { return Sent(ctx.filter.HqSuppGrp); }

  // A hold queue line of an event of 10:14:58.
  static std::string Line(const std::string& group, const std::string& expiry,
                          const std::string& node, const std::string& message,
                          const std::string& reminded = "False") {
    return group + "\t" + expiry + "\t2026-06-26 10:14:58\t2 - Major\t" + node + "\t" + message +
           "\t" + reminded;
  }
  void Hold(const Strings& lines) { AppendLines(File("Hold_Queue.log"), lines); }
  void RunHqAt(const std::string& time) {
    clock.Set(time);
    SuppGroupCheck_Hq(ctx);
  }
};

using SuppGroupCheckTest = FilterTest;

// Duty, case, AND, OR and != on whole groups are followed end to end; these are the edges.
TEST_F(SuppGroupCheckTest, EmptyPatternsTheTenPatternLimitAndBadPatterns) {
  AddGroup("empty-eq", {{"NodeName", ""}});
  AddGroup("empty-ne", {{"NodeName", " <and> "}, {"NodeNameSearch", "!="}});
  AddGroup("eleven", {{"NodeName",
                       "n1<OR>n2<OR>n3<OR>n4<OR>n5<OR>n6<OR>n7<OR>n8<OR>n9<OR>"
                       "mail*<OR>dbserver"}});
  AddGroup("broken", {{"NodeName", "[abc"}});
  SetFormat("N");
  for (const char* node : {"webserver", "MAILhost", "dbserver"}) AddEvent(kMajor, node, "m");
  SuppGroupCheck(ctx);
  // The tenth pattern matches, the eleventh is ignored.
  EXPECT_EQ(Sent(), (Texts{{3, "MAILhost"}}));
  // A malformed pattern is reported once per run, not once per event.
  EXPECT_EQ(Entries(evt::kRuntimeError),
            Strings{"[93] Invalid pattern string (Module: StringCompareText)"});
}

TEST(PriorityCondition, SearchWordsAgainstTheGroupsPriority) {
  // "=<" is not a search word; a priority without a digit is 0, the most severe.
  // clang-format off
  struct Case { const char* event; const char* search; bool holds; };
  for (const Case& c : {Case{"2 - Major", "<=", true}, {"3 - Minor", "<=", false},
           {"2 - Major", "=", true}, {"1 - Critical", "=", false}, {"2 - Major", ">=", true},
           {"1 - Critical", ">=", false}, {"2 - Major", "=<", false}, {"Info", "<=", true}})
    EXPECT_EQ(PriorityCondition(c.event, "2 - Major", c.search), c.holds) << c.event << c.search;
  // clang-format on
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
  EXPECT_EQ(Lines("Hold_Queue.log").size(), 2u);
}

TEST_F(SuppGroupCheckTest, OddNamesAndHugeTextsKeepTheHoldQueueReadable) {
  AddCorrelatingGroup("team\tA", 10);
  SetFormat("NM", 10, 70000);
  AddEvent(kMajor, "node\r\nx", std::string(500, 'x') + "\t");
  SuppGroupCheck(ctx);
  // TAB, CR and LF become blanks; held messages are cut to 400 characters.
  EXPECT_EQ(Lines("Hold_Queue.log"),
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

using HoldQueueTest = FilterTest;

TEST_F(HoldQueueTest, OneReminderAfterRemindTimerThenExpiryGoesBeforeUps) {
  // clang-format off
  Columns remind = {{"HoldTimer", "10"}, {"RemindTimer", "4"}, {"RemindOnce", "1"},
      {"SendMessWhenExp", "1"}, {"MessageUp", "Any String Valid"}, {"SendMessWhenUp", "1"}};
  // clang-format on
  AddGroup("r4", remind);
  remind["RemindTimer"] = "12";  // beyond the HoldTimer: never reminds
  AddGroup("r12", remind);
  SetFormat("NM");
  const std::string expiry = "2026-06-26 10:25:00";
  Hold({Line("r4", expiry, "n", "down"), Line("r12", expiry, "n", "down")});
  const Texts none, first = {{1, "n, down"}}, both = {{1, "n, down"}, {2, "n, down"}};
  // Reminders after 10:19:00, one only; expiry after 10:25:00, where the up is not seen.
  // clang-format off
  for (auto [time, sent] : {std::pair{"10:19:00", none}, {"10:19:01", first}, {"10:22:00", none},
           {"10:25:00", none}, {"10:25:01", both}}) {  // clang-format on
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
  EXPECT_EQ(Lines("Hold_Queue.log").size(), 1u);
}

TEST_F(HoldQueueTest, DuplicateAndClearingCriteria) {
  const std::string held = "Interface eth0 down";  // 19 characters: halves of 9
  Hold({Line("g", "2026-06-26 10:25:00", "sw", held)});
  // clang-format off
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
      {"whole string equal", held, false, false}, {"any string valid", "anything", false, false}};
  // clang-format on
  for (const auto& r : rows) {
    EXPECT_EQ(TestForDuplicate_Hq(ctx, "g", r.criteria, kMajor, "sw", r.message), r.duplicate)
        << r.criteria << ": " << r.message;
    EXPECT_EQ(TestForMessage_Hq(held, r.message, r.criteria), r.clears)
        << r.criteria << ": " << r.message;
  }
  // Node and group must be equal too, letter case included.
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
  EXPECT_EQ(Lines("Hold_Queue.log"), rest);
}

TEST_F(HoldQueueTest, FailureBeforeTheRewriteChangesNothing) {
  AddGroup(
      "esc",
      {{"EscalateWhenExp", "1"}, {"NewMessage", "$M"}, {"SendMessWhenExp", "1"}, {"ReqAck", "1"}});
  AddGroup("bad");
  Db().Exec("UPDATE SuppGrp_Perm SET HoldTimer = 'ten' WHERE Name = 'bad'");
  Hold(
      {Line("esc", "2026-06-26 10:00:00", "n", "m"), Line("bad", "2026-06-26 10:00:00", "n", "m")});
  const Strings before = Lines("Hold_Queue.log");
  ctx.ReqAckIdCounter = 950;
  RunHqAt("2026-06-26 10:15:00");
  EXPECT_EQ(Entries(evt::kRuntimeError),
            Strings{"[13] Type mismatch (SuppGrp_Perm.HoldTimer) (Module: SuppGroupCheck_Hq)"});
  EXPECT_EQ(Lines("Hold_Queue.log"), before);
  EXPECT_EQ(SentHq(), Texts{}) << "nothing is sent that the file still holds";
  EXPECT_FALSE(FileExists(File("Event.log")));
  EXPECT_FALSE(FileExists(File("ReqAck.log")));
  EXPECT_EQ(ctx.ReqAckIdCounter, 950);
}

// Whether StringCompareText (letters without regard to case) and StringCompareBin (by
// character code) match.
// clang-format off
struct Row { const char* text; const char* pattern; bool text_match, bin_match; };
const Row kRows[] = {
    // Plain characters, case, and the whole-string rule.
    {"router1", "router1", true, true}, {"", "", true, true}, {"a", "", false, false},
    {"router1", "Router1", true, false}, {"router1", "router", false, false},
    // ? and *.
    {"abc", "a?c", true, true}, {"ac", "a?c", false, false}, {"abbc", "a?c", false, false},
    {"", "?", false, false}, {"", "*", true, true}, {"abc", "a**c", true, true},
    {"WebServer", "web*", true, false}, {"ab", "*?", true, true}, {"", "*?", false, false},
    {"Link down", "*down*", true, true}, {"Link DOWN 2", "*down*", true, false},
    // # is one digit.
    {"port 7", "port #", true, true}, {"port x", "port #", false, false}, {"9", "#", true, true},
    {"port 12", "port #", false, false}, {"port 12", "port ##", true, true},
    {"router", "router1", false, false}, {"abcab", "*abd", false, false},
    // Lists, negated lists, ranges, literal hyphens.
    {"b", "[abc]", true, true}, {"d", "[abc]", false, false}, {"B", "[abc]", true, false},
    {"d", "[!abc]", true, true}, {"a", "[!abc]", false, false}, {"A", "[!abc]", false, true},
    {"M", "[a-z]", true, false}, {"m", "[A-Z]", true, false}, {"5", "[!0-9]", false, false},
    {"sw3", "sw[1-4]", true, true}, {"sw5", "sw[1-4]", false, false}, {"-", "[a-]", true, true},
    {"q", "[a-cx-z]", false, false}, {"-", "[-a]", true, true}, {"日本", "??", true, true},
    {"-", "[!-a]", false, false}, {"b", "[a-]", false, false}, {"b", "[!a-]", true, true},
    // Specials are literal inside a list, ] outside one; [] matches nothing, [!] anything.
    {"a*b", "a[*]b", true, true}, {"axb", "a[*]b", false, false}, {"a?b", "a[?]b", true, true},
    {"#1", "[#]#", true, true}, {"11", "[#]#", false, false}, {"[x]", "[[]x]", true, true},
    {"]", "]", true, true}, {"ab", "a[]b", true, true}, {"axb", "a[!]b", true, true},
    {"ab", "a[!]b", false, false},
    // Latin-1 and Windows-1252 letters fold in text comparison only; characters are code points.
    {"Überlast", "überlast", true, false}, {"Ÿ", "ÿ", true, false}, {"ŠKODA", "škoda", true, false},
    {"straße", "STRASSE", false, false}, {"É", "[à-ÿ]", true, false}, {"×", "[à-ÿ]", false, false},
    // Invalid UTF-8 bytes and control characters are ordinary characters.
    {"a\xff" "b", "a?b", true, true}, {"a\xff" "b", "a\xfe" "b", false, false},
    {"ab\xc3", "ab?", true, true}, {"a\tb\r\n", "a?b*", true, true},
    // An overlong form is two stray bytes, never the ASCII character it spells.
    {"x\xc0\x87", "x\xc0\x87", true, true}, {"\xc0\x87", "\x07", false, false},
};  // clang-format on

class WildcardCompareTest : public testing::VarnelTest {};

TEST_F(WildcardCompareTest, BothComparesAgreeWithTheTable) {
  for (const Row& r : kRows) {
    EXPECT_EQ(StringCompareText(ctx, r.text, r.pattern), r.text_match)
        << "text \"" << r.text << "\" pattern \"" << r.pattern << "\" (StringCompareText)";
    EXPECT_EQ(StringCompareBin(ctx, r.text, r.pattern), r.bin_match)
        << "text \"" << r.text << "\" pattern \"" << r.pattern << "\" (StringCompareBin)";
  }
  EXPECT_EQ(ctx.ErrorCount, 0);
}

TEST_F(WildcardCompareTest, MalformedPatternsAreReportedOnEveryCompareAndNeverMatch) {
  for (const char* p : {"[abc", "a[", "[!", "*[a-", "[z-a]", "x[9-0]y"}) {
    EXPECT_FALSE(StringCompareText(ctx, "abc", p)) << p;
    EXPECT_FALSE(StringCompareBin(ctx, "abc", p)) << p;
  }
  auto errors = Entries(evt::kRuntimeError);
  ASSERT_EQ(errors.size(), 12u);
  EXPECT_EQ(errors[1], "[93] Invalid pattern string (Module: StringCompareBin)");
}

TEST(WildcardLongTexts, StarsDoNotGoExponential) {
  // Naive backtracking takes ages on these.
  const std::string as(65536, 'a');
  EXPECT_FALSE(WildcardMatch(as, "*a*a*a*a*a*a*a*a*a*a*b", CaseMode::Text));
  EXPECT_TRUE(WildcardMatch(as + "b", "*a*a*a*a*a*a*a*a*a*a*b", CaseMode::Binary));
  EXPECT_FALSE(WildcardMatch(as, "*?*?*?*?*?*?*?*?*?*?#", CaseMode::Text));
}

}  // namespace
}  // namespace varnel
