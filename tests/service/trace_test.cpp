#include "service/trace.h"

#include <gtest/gtest.h>

#include "platform/error.h"
#include "platform/files.h"
#include "service/settings.h"
#include "support/test_support.h"

namespace varnel {
namespace {

class TraceTest : public testing::VarnelTest {
 protected:
  bool Written(TraceCategory c, const char* file) {
    std::string path = File(std::string("Debug/") + file);
    DeleteFile(path);
    WriteTrace(ctx, c, file, {"x"});
    return FileExists(path);
  }
};

TEST_F(TraceTest, CategoryDecidesWhichFilesAreWritten) {
  struct Case {
    const char* mode;
    TraceCategory category;
    const char* file;
    bool written;
  } cases[] = {
      {"Event Sources", TraceCategory::EventSources, trace::kEventList, true},
      {"Event Sources", TraceCategory::DebugAllOnly, trace::kDbSnmpTraps, false},
      {"Debug All", TraceCategory::EventSources, trace::kEventList, true},
      {"Debug All", TraceCategory::DebugAllOnly, trace::kDbSnmpTraps, true},
      {"Filter Process", TraceCategory::FilterProcess, trace::kFilterProcess, true},
      {"Filter Process", TraceCategory::ModemCommunication, trace::kModem, false},
      {"Modem Communication", TraceCategory::ModemCommunication, trace::kModem, true},
      {"Remote Backup", TraceCategory::RemoteBackup, trace::kBackupClient, true},
      {"Ftp Communication", TraceCategory::FtpCommunication, trace::kFtpPut, true},
      {"Ftp Communication", TraceCategory::DebugAllOnly, trace::kSendMailSmtp, false},
      {"No Debug", TraceCategory::EventSources, trace::kEventList, false},
      {"event sources", TraceCategory::EventSources, trace::kEventList, false},  // case matters
      {"debug all", TraceCategory::DebugAllOnly, trace::kDbSnmpTraps, false},
      {"Debug All ", TraceCategory::EventSources, trace::kEventList, false},
  };
  for (const auto& c : cases) {
    ctx.DebugMode = c.mode;
    EXPECT_EQ(Written(c.category, c.file), c.written) << c.mode << " / " << c.file;
  }
}

TEST_F(TraceTest, LinesAppendWithCrLf) {
  ctx.DebugMode = "Debug All";
  WriteTrace(ctx, TraceCategory::EventSources, trace::kEventList, {"a", "b"});
  WriteTrace(ctx, TraceCategory::EventSources, trace::kEventList, {"c"});
  EXPECT_EQ(ReadLines(File("Debug/Event_List.txt")), (std::vector<std::string>{"a", "b", "c"}));
}

TEST_F(TraceTest, MissingDebugDirectoryFailsTheWriterOnlyWhenTracing) {
  testing::RemoveTree(File("Debug"));
  ctx.DebugMode = "No Debug";
  EXPECT_NO_THROW(WriteTrace(ctx, TraceCategory::EventSources, trace::kEventList, {"x"}));
  ctx.DebugMode = "Event Sources";
  try {
    WriteTrace(ctx, TraceCategory::EventSources, trace::kEventList, {"x"});
    FAIL() << "expected an error";
  } catch (const VarnelError& e) {
    EXPECT_EQ(e.Number(), err::kPathNotFound);
  }
}

TEST_F(TraceTest, ClearDebugDirDeletesTraceFilesOnly) {
  for (const char* f : {trace::kEventList, trace::kTask, "slist.tmp", "keep.txt"})
    AppendLines(File(std::string("Debug/") + f), {"x"});
  ctx.DebugMode = "No Debug";
  ClearDebugDir(ctx);
  EXPECT_FALSE(FileExists(File("Debug/Event_List.txt")));
  EXPECT_FALSE(FileExists(File("Debug/Task.txt")));
  EXPECT_FALSE(FileExists(File("Debug/slist.tmp")));
  EXPECT_TRUE(FileExists(File("Debug/keep.txt")));
  EXPECT_TRUE(log.entries.empty());
}

TEST_F(TraceTest, ClearDebugDirReportsAFileItCannotDelete) {
  // A directory in the place of a trace file cannot be unlinked.
  ASSERT_EQ(::mkdir(File("Debug/Event_List.txt").c_str(), 0755), 0);
  AppendLines(File("Debug/Task.txt"), {"x"});
  ClearDebugDir(ctx);
  ASSERT_EQ(Entries(106).size(), 1u);
  EXPECT_NE(Entries(106)[0].find("(Module: ClearDebugDir)"), std::string::npos);
  EXPECT_TRUE(FileExists(File("Debug/Task.txt")));  // stopped at the first failure
}

TEST_F(TraceTest, SharedLineShapes) {
  clock.Set("2026-03-04 05:06:07");
  TraceLines t(ctx);
  t.DumpTitle("Event List (from Event.log)").Field("InEventsDateAndTime", 3, "x").Blank();
  t.ItemTitle("Syslog1 Message");
  EXPECT_EQ(t.Lines(), (std::vector<std::string>{
                           "2026-03-04 05:06:07 ***** Event List (from Event.log) *****", "",
                           "InEventsDateAndTime(3)=x", "", "********** Syslog1 Message **********"}));
}

TEST_F(TraceTest, SocketEventDeltaPerLink) {
  auto first = SocketEventLines(ctx, "client", "backupClient_Connect", 6, true);
  EXPECT_EQ(first[0], std::string(34, '='));
  EXPECT_EQ(first[2], "Delta: 0 ms    State: 6");
  clock.AdvanceMs(250);
  SocketEventLines(ctx, "server", "backupServer_Connect", 2, true);
  clock.AdvanceMs(100);
  auto next = SocketEventLines(ctx, "client", "backupClient_Close", 8, false);
  EXPECT_EQ(next[0], std::string(34, '-'));
  EXPECT_EQ(next[1], "backupClient_Close");
  EXPECT_EQ(next[2], "Delta: 350 ms    State: 8");
}

TEST_F(TraceTest, DebugModeChangeReachesWritersAfterReRead) {
  ctx.DebugMode = "No Debug";
  SetColumn("Settings_General", "DebugMode", "Event Sources");
  EXPECT_FALSE(TraceEnabled(ctx, TraceCategory::EventSources));
  ReadDb_Updates(ctx);
  EXPECT_TRUE(TraceEnabled(ctx, TraceCategory::EventSources));
}

}  // namespace
}  // namespace varnel
