#include "service/trace.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "platform/files.h"
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

}  // namespace
}  // namespace varnel
