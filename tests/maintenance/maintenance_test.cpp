#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "maintenance/backup_database.h"
#include "maintenance/delete_old_log_entries.h"
#include "support/test_support.h"

namespace varnel {
namespace {

using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::Texts;
namespace fs = std::filesystem;

// The test clock stands at 2026-06-26 10:15; with DelOldLogDays 30 the 26th of May is old.
constexpr const char* kOld = "2026-05-26 23:59:59";

class HousekeepingTest : public testing::VarnelTest {
 protected:
  HousekeepingTest() {
    Update("Settings_General", "DelOldLogDays = 30");
    ctx.DateFormat = "DD.MM.YYYY";
  }
  // Events 1..rows at the time given, each with a message of 100 characters.
  void AddEvents(int rows, const std::string& when = kOld) {
    Db().Exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
              std::to_string(rows) + ") INSERT INTO LogFiles_Event (\"Index\", DateAndTime, " +
              "NodeName, Message) SELECT i, '" + when + "', 'core1', printf('%0100d', i) FROM n");
  }
  Texts Messages() { return Column("LogFiles_Event", "Message"); }
  Texts Errors() const { return Entries(106); }
};

TEST_F(HousekeepingTest, RowsPastTheCalendarDayLimitMoveToAnExportFileWithItsHeader) {
  AddRow("LogFiles_Event", {{"Index", "605260001"},
                            {"DateAndTime", "2026-05-26 00:00:00"},
                            {"Priority", "2 - Major"},
                            {"Message", "old\ttabbed\r\nline"}});
  AddEvents(1, "2026-05-27 00:00:00");  // 30 days: stays
  AddEvents(1, "");                     // no date: never old
  DeleteOldLogEntries(ctx);
  EXPECT_EQ(Messages().size(), 2u);
  EXPECT_THAT(Lines("Backup/Event_old.txt"),
              ElementsAre("Index\tTime\tSeverity\tSource\tMessage\tEvent Source",
                          "605260001\t26.05.2026 00:00:00\t2 - Major\t\told tabbed  line\t"));

  fs::remove(File("Backup/Event_old.txt"));  // removed by the operator: starts anew
  AddEvents(1);
  DeleteOldLogEntries(ctx);
  EXPECT_THAT(Lines("Backup/Event_old.txt"),
              ElementsAre(HasSubstr("Index\tTime\t"), HasSubstr("26.05.2026 23:59:59\t\tcore1")));
}

TEST_F(HousekeepingTest, CountersRestartAndTheMaintenanceNumberOnlyPast999) {
  for (auto [maintenance, after] : {std::pair{"500", "500"}, {"999", "999"}, {"1000", "1"}}) {
    Update("Settings_General", "LogIndexEvent = 3004, LogIndexAlarm = 17, LogIndexMaintenance = " +
                                   std::string(maintenance));
    DeleteOldLogEntries(ctx);
    EXPECT_EQ(GetColumn("Settings_General", "LogIndexEvent"), "1");
    EXPECT_EQ(GetColumn("Settings_General", "LogIndexAlarm"), "1");
    EXPECT_EQ(GetColumn("Settings_General", "LogIndexMaintenance"), after);
  }
}

// An export that cannot be written keeps the table's rows, reports the failure and leaves
// no partial lines; the next run exports the rows.
TEST_F(HousekeepingTest, AnUnwritableExportFileKeepsTheRowsForTheNextRun) {
  const std::string file = File("Backup/Event_old.txt");
  int locked = -1;
  rlimit unlimited{};
  ::getrlimit(RLIMIT_FSIZE, &unlimited);
  ::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails instead of ending the process
  struct Case {
    const char* error;
    std::function<void()> spoil;
    std::size_t alarmsKept;  // a lock on one file does not stop the next table
  } const cases[] = {
      {"[76] Path not found", [&] { fs::rename(File("Backup"), File("Backup.away")); }, 1},
      {"[70] Permission denied",
       [&] {
         locked = ::open(file.c_str(), O_WRONLY | O_CREAT, 0644);
         ::flock(locked, LOCK_EX);
       },
       0},
      {"[75] Path/File access error",  // the disk fills up after 32 KiB of the export
       [&] {
         rlimit small = unlimited;
         small.rlim_cur = 32768;
         ::setrlimit(RLIMIT_FSIZE, &small);
       },
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    AddEvents(700);  // more than one piece of the export is written
    AddRow("LogFiles_Alarm", {{"DateAndTime", kOld}});
    log.entries.clear();
    c.spoil();
    DeleteOldLogEntries(ctx);
    ::setrlimit(RLIMIT_FSIZE, &unlimited);
    ASSERT_FALSE(Errors().empty());
    EXPECT_THAT(Errors()[0], AllOf(HasSubstr(c.error), HasSubstr("(Module: DeleteOldLogEntries)")));
    EXPECT_EQ(Messages().size(), 700u);
    EXPECT_THAT(Lines("Backup/Event_old.txt"), ElementsAre());
    EXPECT_EQ(Column("LogFiles_Alarm", "DateAndTime").size(), c.alarmsKept);

    if (locked >= 0) ::close(locked), locked = -1;
    if (fs::exists(File("Backup.away"))) fs::rename(File("Backup.away"), File("Backup"));
    log.entries.clear();
    DeleteOldLogEntries(ctx);
    EXPECT_THAT(Errors(), ElementsAre());
    EXPECT_THAT(Messages(), ElementsAre());
    EXPECT_EQ(Lines("Backup/Event_old.txt").size(), 701u);
    fs::remove(file);
  }
}

TEST_F(HousekeepingTest, TheDailyCopyNeedsTheBackupDirectory) {
  Update("Settings_General", "BackupVarnel = 1, BackupHour = 10");
  fs::remove_all(File("Backup"));
  BackupDatabase(ctx);
  EXPECT_THAT(Errors(), ElementsAre(AllOf(HasSubstr("[76] Path not found"),
                                          HasSubstr("(Module: BackupDatabase)"))));
  EXPECT_FALSE(fs::exists(File("Backup")));  // never created by the service
}

}  // namespace
}  // namespace varnel
