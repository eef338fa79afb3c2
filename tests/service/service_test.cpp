#include <sys/stat.h>

#include <gtest/gtest.h>

#include "platform/error.h"
#include "platform/files.h"
#include "service/date_format.h"
#include "service/event_list.h"
#include "service/ini.h"
#include "service/settings.h"
#include "service/trace.h"
#include "service/update_event_log.h"
#include "support/test_support.h"

namespace varnel {
namespace {

using testing::ErrorOf, testing::Texts;

class TraceTest : public testing::VarnelTest {};

TEST_F(TraceTest, ModeDecidesWhichFilesAreWrittenAndWritesAppend) {
  using C = TraceCategory;
  // clang-format off
  const struct { const char* mode; TraceCategory category; bool written; } cases[] = {
      {"Event Sources", C::DebugAllOnly, false}, {"Debug All", C::ModemCommunication, true},
      // The word is exact.
      {"event sources", C::EventSources, false}, {"Debug All ", C::EventSources, false}};
  // clang-format on
  for (const auto& c : cases) {
    ctx.DebugMode = c.mode;
    DeleteFile(File("Debug/Task.txt"));
    WriteTrace(ctx, c.category, trace::kTask, {"x"});
    EXPECT_EQ(FileExists(File("Debug/Task.txt")), c.written) << c.mode;
  }
  ctx.DebugMode = "Debug All";
  DeleteFile(File("Debug/Task.txt"));
  WriteTrace(ctx, C::DebugAllOnly, trace::kTask, {"a", "b"});
  WriteTrace(ctx, C::DebugAllOnly, trace::kTask, {"c"});
  EXPECT_EQ(ReadLines(File("Debug/Task.txt")), (Texts{"a", "b", "c"}));

  // A failing write stops nothing: it is said once, and again after a write has succeeded.
  testing::RemoveTree(File("Debug"));
  const std::string said = "[76] Path not found: " + File("Debug/x") + " (Module: WriteTrace)";
  for (int i = 0; i < 3; ++i) {
    if (i == 2) {
      ASSERT_EQ(::mkdir(File("Debug").c_str(), 0755), 0);
      WriteTrace(ctx, C::EventSources, "x", {});
      testing::RemoveTree(File("Debug"));
    }
    EXPECT_EQ(ErrorOf([&] { WriteTrace(ctx, C::EventSources, "x", {}); }), 0);
  }
  EXPECT_EQ(Entries(106), (Texts{said, said}));
}

TEST_F(TraceTest, ClearDebugDirDeletesTraceFilesAndStopsAtTheFirstFailure) {
  for (const char* f : {trace::kEventList, trace::kTask, "slist.tmp", "keep.txt"})
    AppendLines(File(std::string("Debug/") + f), {"x"});
  ClearDebugDir(ctx);
  for (const char* f : {trace::kEventList, trace::kTask, "slist.tmp"})
    EXPECT_FALSE(FileExists(File(std::string("Debug/") + f))) << f;
  EXPECT_TRUE(FileExists(File("Debug/keep.txt")) && log.entries.empty());
  // A directory in the place of a trace file cannot be deleted.
  ASSERT_EQ(::mkdir(File("Debug/Event_List.txt").c_str(), 0755), 0);
  AppendLines(File("Debug/Task.txt"), {"x"});
  ClearDebugDir(ctx);
  ASSERT_EQ(Entries(106).size(), 1u);
  EXPECT_NE(Entries(106)[0].find("(Module: ClearDebugDir)"), std::string::npos);
  EXPECT_TRUE(FileExists(File("Debug/Task.txt")));
}

class IniTest : public testing::VarnelTest {};

TEST_F(IniTest, LineRulesLastLineWinsAndABadValueEndsReading) {
  // clang-format off
  const struct {
    std::vector<std::string> lines; bool primary, readSms, multiHomed; const char* error;
  } cases[] = {
      {{}, true, false, false, nullptr},  // no file: the defaults
      {{"primarysystem = false",          // lower-case key, blanks around "=": read
        "UNKNOWNKEY=whatever",            // other keys are ignored, even with a bad value
        "SmtpServerMultiHomed=-1"},       // any non-zero number is true
       false, false, true, nullptr},
      {{"READSMSCMD=0", "READSMSCMD=TRUE", "PRIMARYSYSTEM=2", "PRIMARYSYSTEM=0.0"},
       false, true, false, nullptr},
      // The bad line is not applied and nothing after it is read.
      {{"READSMSCMD=true", "PRIMARYSYSTEM=yes", "SMTPSERVERMULTIHOMED=true"},
       true, true, false, "[13] Type mismatch (Module: Varnel_ini)"},
      {{"PRIMARYSYSTEM=1x", "READSMSCMD=true"}, true, false, false,
       "[13] Type mismatch (Module: Varnel_ini)"},
  };  // clang-format on
  for (const auto& c : cases) {
    DeleteFile(File("Varnel.ini"));
    if (!c.lines.empty()) AppendLines(File("Varnel.ini"), c.lines);
    ctx.IsPrimary = false;
    ctx.ReadSmsCmd = ctx.SmtpMultiHomed = true;
    log.entries.clear();
    Varnel_ini(ctx);
    std::string first = c.lines.empty() ? "" : c.lines[0];
    EXPECT_EQ(std::tuple(ctx.IsPrimary, ctx.ReadSmsCmd, ctx.SmtpMultiHomed),
              std::tuple(c.primary, c.readSms, c.multiHomed))
        << first;
    EXPECT_EQ(Entries(106), c.error ? Texts{c.error} : Texts{}) << first;
  }
}

TEST(DateFormat, Patterns) {
  LocalTime t;
  ParseTimeText("2026-03-04 15:06:07", t);  // a Wednesday
  // MM after HH or before SS means minutes.
  // clang-format off
  struct Case { const char* pattern; const char* expected; } cases[] = {
      {"yyyy-mm-dd", "2026-03-04"}, {"YYYY-MM-DD HH:MM:SS", "2026-03-04 15:06:07"},
      {"DDDD, MMMM D", "Wednesday, March 4"}, {"HH:MM AM/PM", "03:06 PM"}, {"MM:SS", "06:07"}};
  // clang-format on
  for (const auto& c : cases) EXPECT_EQ(FormatDateTime(c.pattern, t), c.expected) << c.pattern;
  ParseTimeText("2026-03-04 00:30:00", t);
  EXPECT_EQ(FormatDateTime("H:NN AM/PM", t), "12:30 AM");
}

using UpdateEventLogTest = testing::VarnelTest;

TEST_F(UpdateEventLogTest, WritesRowsWithDayStampAndCuts) {
  SetColumn("Settings_General", "LogIndexEvent", "7");
  std::string longName(150, 'n');
  std::string longMessage = std::string(249, 'm') + "\xC3\x84\xC3\x84";  // 251 characters
  ctx.events.Append("2026-06-26 10:14:59", kCritical, longName, longMessage,
                    "A source word longer than twenty-five");
  UpdateEventLog(ctx);
  Database db = Db();
  Table t = db.Open("LogFiles_Event");
  EXPECT_EQ(std::tuple(t.Int32("Index"), t.Text("DateAndTime"), t.Text("Priority")),
            std::tuple(606260007, "2026-06-26 10:14:59", kCritical));
  EXPECT_EQ(t.Text("NodeName") + "|" + t.Text("EventSource"),
            std::string(100, 'n') + "|A source word longer than");
  EXPECT_EQ(t.Text("Message"), std::string(249, 'm') + "\xC3\x84");  // never half a character
  EXPECT_EQ(GetColumn("Settings_General", "LogIndexEvent"), "8");
  EXPECT_EQ(ctx.events[1].Name, longName);  // the list keeps the full name for the filter
}

TEST_F(UpdateEventLogTest, StopsAtThreeThousandADayButAdvancesTheCounter) {
  SetColumn("Settings_General", "LogIndexEvent", "2999");
  for (int i = 0; i < 5; ++i)
    ctx.events.Append("2026-06-26 10:14:0" + std::to_string(i), kMajor, "n", "m", kSourceSyslog);
  UpdateEventLog(ctx);
  EXPECT_EQ(Column("LogFiles_Event", "Index"), (Texts{"606262999", "606263000"}));
  EXPECT_EQ(GetColumn("Settings_General", "LogIndexEvent"), "3004");
  UpdateEventLog(ctx);  // counter beyond 3000: nothing more is logged today
  EXPECT_EQ(Column("LogFiles_Event", "Index").size(), 2u);
  EXPECT_EQ(GetColumn("Settings_General", "LogIndexEvent"), "3009");
  // The day's first unlogged event is announced once.
  EXPECT_EQ(Entries(107), Texts{"Event log: 3000 events are logged today; further events of the "
                                "day are filtered and delivered but not logged."});
}

TEST_F(UpdateEventLogTest, LimitIsAnnouncedByTheCallThatReachesItAndCounterStopsAt16Bits) {
  // clang-format off
  struct Case { const char* counter; int events; std::size_t notices; const char* after; } cases[] = {
      {"2990", 5, 0, "2995"}, {"2996", 5, 0, "3001"}, {"3001", 1, 1, "3002"},
      {"2999", 3, 1, "3002"}, {"3002", 5, 0, "3007"}, {"32765", 5, 0, "32767"},
      {"32767", 5, 0, "32767"}};  // clang-format on
  for (const auto& c : cases) {
    SetColumn("Settings_General", "LogIndexEvent", c.counter);
    ctx.events.Clear();
    for (int i = 0; i < c.events; ++i)
      ctx.events.Append("2026-06-26 10:14:00", kMajor, "n", "m", kSourceSyslog);
    std::size_t before = Entries(107).size();
    UpdateEventLog(ctx);
    EXPECT_EQ(Entries(107).size() - before, c.notices) << c.counter;
    EXPECT_EQ(GetColumn("Settings_General", "LogIndexEvent"), c.after) << c.counter;
  }
  UpdateEventLog(ctx);  // at the top of the range the next call still works
  EXPECT_EQ(Entries(106), Texts{});
}

TEST_F(UpdateEventLogTest, MissingTableIsReportedAndTheListStays) {
  Db().Exec("DROP TABLE LogFiles_Event");
  ctx.events.Append("2026-06-26 10:14:00", kMajor, "n", "m", kSourceSyslog);
  UpdateEventLog(ctx);
  EXPECT_EQ(Entries(106), Texts{"[3001] no such table: LogFiles_Event (Module: UpdateEventLog)"});
  EXPECT_EQ(GetColumn("Settings_General", "LogIndexEvent"), "2");  // advanced from 1
  EXPECT_EQ(std::tuple(ctx.events.Count(), ctx.LastErrorText),
            std::tuple(1, "2026-06-26: no such table: LogFiles_Event"));
}

// Rows whose write fails for a passing reason (here a database file that cannot be opened)
// wait in order, up to a bound; the retry at the end of a cycle is quiet while it still fails.
TEST_F(UpdateEventLogTest, RowsWaitUpToTheirBoundAndAreWrittenWhenTheDatabaseIsBack) {
  for (std::size_t i = 1; i < kMaxKeptLogRows; ++i)
    ctx.logs.events.push_back({"2026-06-26 10:00:00", kMajor, "n", "w" + std::to_string(i), "s"});
  ctx.events.Append("2026-06-26 10:14:00", kMajor, "n", "last kept", "s");
  ctx.events.Append("2026-06-26 10:14:01", kMajor, "n", "dropped", "s");
  ctx.ConnectionString = File("gone/Varnel.mdb");
  UpdateEventLog(ctx);
  ASSERT_EQ(Entries(106).size(), 2u);
  EXPECT_EQ(Entries(106)[0],
            "[6] 1 events not logged: 3000 were already waiting for the database to be written "
            "(Module: UpdateEventLog)");
  EXPECT_EQ(Entries(106)[1].substr(0, 7), "[3014] ");
  WriteKeptEventRows(ctx);  // not again in the cycle whose write failed
  ctx.logs.failedThisCycle = false;
  WriteKeptEventRows(ctx);  // still failing: nothing more to say
  EXPECT_EQ(std::tuple(Entries(106).size(), ctx.logs.events.size()),
            std::tuple(2u, kMaxKeptLogRows));
  EXPECT_EQ(ctx.logs.events.back().Message, "last kept");

  ctx.ConnectionString.clear();
  ctx.logs.failedThisCycle = false;
  WriteKeptEventRows(ctx);
  const Texts messages = Column("LogFiles_Event", "Message");
  ASSERT_EQ(messages.size(), kMaxKeptLogRows);
  EXPECT_EQ(std::tuple(messages.front(), messages.back()), std::tuple("w1", "last kept"));
  EXPECT_EQ(GetColumn("Settings_General", "LogIndexEvent"), "3001");
  EXPECT_TRUE(ctx.logs.events.empty());
  EXPECT_EQ(Entries(107).size(), 1u);
}

class SettingsTest : public testing::VarnelTest {};

// A kept trap destination is read once per settings re-read, not once per message.
TEST_F(SettingsTest, KeptTrapTargetLastsUntilTheSettingsAreReread) {
  Update("Event_SysLog", "ForwardSysLogAsTrap = 1, TrapUdpPort = 1162");
  auto port = [&] { return KeptTrapTarget(ctx, "Event_SysLog", "ForwardSysLogAsTrap").port; };
  EXPECT_EQ(port(), 1162);
  Update("Event_SysLog", "TrapUdpPort = 2162");
  EXPECT_EQ(port(), 1162);
  ReadDb_Updates(ctx);
  EXPECT_EQ(port(), 2162);
  EXPECT_TRUE(Entries(106).empty());
}

TEST(EventList, HoldsThreeHundredAndCompactEmptiesTheSlotsItVacates) {
  EventList l;
  for (int i = 1; i <= 301; ++i)
    l.Append("2026-01-01 00:00:00", kMajor, "node" + std::to_string(i), "m", kSourceSyslog);
  EXPECT_EQ(std::tuple(l.Count(), l[300].Name), std::tuple(300, "node300"));
  EXPECT_THROW(l[301], VarnelError);
  EXPECT_THROW(l[0], VarnelError);
  for (int i = 1; i <= 300; ++i)
    if (i != 1 && i != 3 && i != 300) l.Remove(i);
  l.Compact();
  EXPECT_EQ(l.Count(), 3);
  EXPECT_EQ(l[1].Name + l[2].Name + l[3].Name, "node1node3node300");
  // Free slots above the last entry: a later walk over all 300 sees no copies.
  for (int i = 4; i <= kMaxEvents; ++i) EXPECT_TRUE(l[i].Free()) << i;
  EXPECT_TRUE(l.Append("2026-01-01 00:00:02", kMinor, "node6", "m", kSourceSyslog));
  EXPECT_EQ(l[4].Name, "node6");
  l.Clear();
  EXPECT_EQ(l.Count(), 0);
  EXPECT_TRUE(l[1].Free() && l[1].Message.empty());
}

// An entry goes when an earlier entry of the given source has the same message, node and
// priority, whatever its own source; an earlier entry of another source removes nothing.
TEST(EventList, RemoveDuplicatesKeysOnEarlierEntriesOfTheSource) {
  EventList l;
  // clang-format off
  const struct { const char* priority; const char* name; const char* message; const char* source; } in[] = {
      {kMajor, "a", "down", kSourceSyslog}, {kMajor, "a", "down", kSourceSnmpTrap},
      {kMajor, "b", "down", kSourceSnmpTrap}, {kMajor, "a", "down", kSourceSyslog},
      {kMinor, "b", "down", kSourceSnmpTrap}, {kMajor, "b", "down", kSourceLogFile},
      {kMajor, "a", "down", kSourceSnmpTrap}};  // clang-format on
  for (const auto& e : in) l.Append("2026-01-01 00:00:00", e.priority, e.name, e.message, e.source);
  l.RemoveDuplicates(kSourceSnmpTrap);
  std::string kept;
  for (int i = 1; i <= l.Count(); ++i)
    kept += l[i].Name + l[i].Priority.substr(0, 1) + l[i].EventSource.substr(0, 2) + " ";
  EXPECT_EQ(kept, "a2Sy a2SN b2SN b3SN ");
  EXPECT_TRUE(l[5].Free());
}

}  // namespace
}  // namespace varnel
