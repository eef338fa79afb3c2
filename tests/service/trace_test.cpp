#include "service/trace.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "platform/files.h"
#include "service/date_format.h"
#include "service/ini.h"
#include "support/test_support.h"

namespace varnel {
namespace {

class TraceTest : public testing::VarnelTest {};

TEST_F(TraceTest, ModeDecidesWhichFilesAreWrittenAndWritesAppend) {
  const struct {
    const char* mode;
    TraceCategory category;
    bool written;
  } cases[] = {
      {"Event Sources", TraceCategory::EventSources, true},
      {"Event Sources", TraceCategory::DebugAllOnly, false},
      {"Debug All", TraceCategory::DebugAllOnly, true},
      {"Debug All", TraceCategory::ModemCommunication, true},
      {"Filter Process", TraceCategory::ModemCommunication, false},
      {"No Debug", TraceCategory::EventSources, false},
      {"event sources", TraceCategory::EventSources, false},  // the word is exact
      {"Debug All ", TraceCategory::EventSources, false},
  };
  for (const auto& c : cases) {
    ctx.DebugMode = c.mode;
    DeleteFile(File("Debug/Task.txt"));
    WriteTrace(ctx, c.category, trace::kTask, {"x"});
    EXPECT_EQ(FileExists(File("Debug/Task.txt")), c.written) << c.mode;
  }
  ctx.DebugMode = "Debug All";
  DeleteFile(File("Debug/Task.txt"));
  WriteTrace(ctx, TraceCategory::DebugAllOnly, trace::kTask, {"a", "b"});
  WriteTrace(ctx, TraceCategory::DebugAllOnly, trace::kTask, {"c"});
  EXPECT_EQ(ReadLines(File("Debug/Task.txt")), (std::vector<std::string>{"a", "b", "c"}));

  testing::RemoveTree(File("Debug"));  // a failing write raises only when tracing
  ctx.DebugMode = "No Debug";
  EXPECT_EQ(testing::ErrorOf([&] { WriteTrace(ctx, TraceCategory::EventSources, "x", {}); }), 0);
  ctx.DebugMode = "Event Sources";
  EXPECT_EQ(testing::ErrorOf([&] { WriteTrace(ctx, TraceCategory::EventSources, "x", {}); }),
            err::kPathNotFound);
}

TEST_F(TraceTest, ClearDebugDirDeletesTraceFilesAndStopsAtTheFirstFailure) {
  for (const char* f : {trace::kEventList, trace::kTask, "slist.tmp", "keep.txt"})
    AppendLines(File(std::string("Debug/") + f), {"x"});
  ClearDebugDir(ctx);
  for (const char* f : {trace::kEventList, trace::kTask, "slist.tmp"})
    EXPECT_FALSE(FileExists(File(std::string("Debug/") + f))) << f;
  EXPECT_TRUE(FileExists(File("Debug/keep.txt")));
  EXPECT_TRUE(log.entries.empty());
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
    std::vector<std::string> lines;
    bool primary, readSms, multiHomed;
    const char* error;
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
  };
  // clang-format on
  for (const auto& c : cases) {
    DeleteFile(File("Varnel.ini"));
    if (!c.lines.empty()) AppendLines(File("Varnel.ini"), c.lines);
    ctx.IsPrimary = false;
    ctx.ReadSmsCmd = true;
    ctx.SmtpMultiHomed = true;
    log.entries.clear();
    Varnel_ini(ctx);
    std::string first = c.lines.empty() ? "" : c.lines[0];
    EXPECT_EQ(std::tuple(ctx.IsPrimary, ctx.ReadSmsCmd, ctx.SmtpMultiHomed),
              std::tuple(c.primary, c.readSms, c.multiHomed))
        << first;
    EXPECT_EQ(Entries(106),
              c.error ? std::vector<std::string>{c.error} : std::vector<std::string>{})
        << first;
  }
}

TEST(DateFormat, Patterns) {
  LocalTime t;
  ParseTimeText("2026-03-04 15:06:07", t);  // a Wednesday
  struct Case {
    const char* pattern;
    const char* expected;
  } cases[] = {
      {"YYYY-MM-DD", "2026-03-04"},
      {"yyyy-mm-dd", "2026-03-04"},
      {"DD.MM.YY", "04.03.26"},
      {"D/M/YYYY", "4/3/2026"},
      {"YYYY-MM-DD HH:MM:SS", "2026-03-04 15:06:07"},  // MM after HH means minutes
      {"HH:NN:SS", "15:06:07"},
      {"H:M", "15:6"},
      {"DDD DD MMM YYYY", "Wed 04 Mar 2026"},
      {"DDDD, MMMM D", "Wednesday, March 4"},
      {"HH:MM AM/PM", "03:06 PM"},
      {"MM:SS", "06:07"},  // MM before SS means minutes too
      {"[YYYY]", "[2026]"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatDateTime(c.pattern, t), c.expected) << c.pattern;
  ParseTimeText("2026-03-04 00:30:00", t);
  EXPECT_EQ(FormatDateTime("H:NN AM/PM", t), "12:30 AM");
}

}  // namespace
}  // namespace varnel
